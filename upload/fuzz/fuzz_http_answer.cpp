// libFuzzer target for the reader of a server's answer: the first byte chooses where the
// rest is cut in two, as a connection may hand it over; each half goes to a reader, and
// the reader must come to the same end as one that takes the bytes whole. A crash, a
// sanitizer report or two different ends is a finding.

#include "upload/httpanswer.h"

#include <cstdint>
#include <cstdlib>

namespace {

struct End
{
    HttpAnswer::State state;
    int status;
    QByteArray body;
    QString fault;
    bool operator==(const End &other) const
    {
        return state == other.state && status == other.status && body == other.body && fault == other.fault;
    }
};

End readInPieces(const QByteArray &bytes, int cut)
{
    HttpAnswer answer;
    answer.take(bytes.left(cut));
    answer.take(bytes.mid(cut));
    answer.connectionEnded();
    // A reader that is done stays done.
    if (answer.take(QByteArrayLiteral("HTTP/1.1 200 OK\r\n\r\n")) != answer.state())
        std::abort();
    return {answer.state(), answer.status(), answer.body(), answer.fault()};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data) + 1, int(size - 1));
    const int cut = bytes.isEmpty() ? 0 : data[0] % (bytes.size() + 1);
    const End whole = readInPieces(bytes, bytes.size());
    if (!(readInPieces(bytes, cut) == whole))
        std::abort();
    if (whole.state == HttpAnswer::State::Reading)
        std::abort();
    return 0;
}
