#pragma once

#include <QList>

#include <functional>

class UploadChannel;

int postsInFlight(const QList<UploadChannel *> &channels);

// For the end of the program: lets the posts still in flight on `channels` finish, with the
// event loop running, for at most the exit grace, then abandons the rest. Once
// `systemEnding` says the system is ending the program, before or during the wait, the
// shorter grace of that end holds. Every post ends with its line in its response file
// before this returns.
void settlePosts(const QList<UploadChannel *> &channels, const std::function<bool()> &systemEnding);
