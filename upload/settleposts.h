#pragma once

#include <QList>

class UploadChannel;

int postsInFlight(const QList<UploadChannel *> &channels);

// For the end of the program: lets the posts still in flight on `channels` finish, with the
// event loop running, for at most the exit grace, then abandons the rest. Every post ends
// with its line in its response file before this returns.
void settlePosts(const QList<UploadChannel *> &channels);
