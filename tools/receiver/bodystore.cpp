#include "bodystore.h"

#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QFile>

namespace {

// A file that cannot be written completely is removed, so that every file in
// the store is a whole body.
bool writeWhole(QFile &file, const QByteArray &body, QString *error)
{
    const bool written = file.write(body) == body.size() && file.flush();
    if (written)
        return true;
    *error = file.errorString();
    file.remove();
    return false;
}

} // namespace

BodyStore::BodyStore(const QString &directory)
    : m_directory(directory)
{
}

QString BodyStore::directory() const
{
    return m_directory;
}

bool BodyStore::prepare(QString *error) const
{
    if (QDir().mkpath(m_directory))
        return true;
    *error = QStringLiteral("cannot create directory %1").arg(m_directory);
    return false;
}

QString BodyStore::nextFilePath(const QString &kindName)
{
    // In ASCII digits whatever the system locale, like every name the project makes.
    const QString stamp = QLocale::c().toString(QDateTime::currentDateTime(), QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    const quint64 sequence = m_sequence.fetch_add(1);
    return QDir(m_directory).filePath(QStringLiteral("%1-%2-%3.txt")
                                          .arg(kindName, stamp)
                                          .arg(sequence, 6, 10, QLatin1Char('0')));
}

QString BodyStore::store(const QString &kindName, const QByteArray &body, QString *error)
{
    // A name can only be taken already by a file left from an earlier run that
    // started its sequence afresh; the next sequence number then gives a new one.
    for (;;) {
        const QString path = nextFilePath(kindName);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return writeWhole(file, body, error) ? path : QString();
        if (!file.exists()) {
            *error = file.errorString();
            return {};
        }
    }
}
