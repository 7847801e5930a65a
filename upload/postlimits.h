#pragma once

// How long the program waits for the answer to a post: HTTP_TIMEOUT_SECONDS of silence
// while it runs, and a grace of exitGraceSeconds once it is told to end.
//
// The texts always speak of these seconds. Only the waits themselves may be made shorter,
// so that tests of answers that never come do not spend them: in a test's own process
// through setPostWaitsForTests, and for the real executable through the environment
// variables FERNWICK_EXIT_GRACE_MS and FERNWICK_IDLE_LIMIT_MS, read at the first wait.
namespace PostLimits {

constexpr int exitGraceSeconds = 10;
// The system ends a program 5 s after its console closed, a logoff or a shutdown (Windows):
// the posts get this much of it, the rest is for writing the lines and ending.
constexpr int systemEndGraceSeconds = 3;

// The graces in milliseconds.
int exitGraceMs();
int systemEndGraceMs();

// The idle limit of `seconds` (more than 0) in milliseconds.
int idleLimitMs(int seconds);

// 0 keeps the real wait.
void setPostWaitsForTests(int exitGraceMs, int idleLimitMs);

}
