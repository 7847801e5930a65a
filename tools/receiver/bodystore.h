#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>

// Keeps every accepted body as a file of its own in one directory, named
// <kind>-yyyyMMdd-HHmmss-zzz-<sequence>.txt. Safe to use from several threads.
class BodyStore
{
public:
    explicit BodyStore(const QString &directory);

    QString directory() const;

    // Creates the directory when it is missing; false with *error set when that fails.
    bool prepare(QString *error) const;

    // Returns the path of the new file, or an empty string with *error set.
    // An existing file is never overwritten.
    QString store(const QString &kindName, const QByteArray &body, QString *error);

private:
    QString nextFilePath(const QString &kindName);

    QString m_directory;
    std::atomic<quint64> m_sequence{0};
};
