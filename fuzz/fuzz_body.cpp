// Datagram::Parse and ReadBody on any bytes a peer could send (also read as
// offering files), and the body round trip: what WriteBody builds, ReadBody
// gives back.
#include "platform/Cp932.h"
#include "protocol/Datagram.h"
#include "protocol/MessageBody.h"
#include "settings/Failure.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

using namespace wibblet;

namespace {

const QString kSender = QStringLiteral("10.0.0.9");

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

QString Widened(QString text)
{
    return text.replace(QLatin1Char(':'), QChar(u'\uFF1A'));
}

// Any datagram: parsing either succeeds with fields inside the text or fails
// with one of its documented numbers; the body never fails.
void ParseAnything(const QByteArray& bytes)
{
    const QString text = Cp932::Decode(bytes);
    try {
        const Datagram d = Datagram::Parse(text, kSender);
        Check(d.senderAddress == kSender);
        Check(d.senderHost.size() <= text.size() && d.senderName.size() <= text.size());
        const MessageBody body = ReadBody(d, QStringLiteral("T"), QStringLiteral("OK"));
        Check(body.text.size() <= text.size());
        Check(!body.text.contains(QChar(u'\0')));
        // Read as offering files: the same text and one line of bounded length.
        Datagram offered = d;
        offered.filesOffered = true;
        const MessageBody files = ReadBody(offered, QStringLiteral("T"), QStringLiteral("OK"));
        Check(files.text.startsWith(body.text));
        Check(files.text.size() <= body.text.size() + 2 + 160);
        Check(!files.text.contains(QChar(u'\0')));
    } catch (const Failure& failure) {
        Check(failure.Number() == Failure::InvalidArgument || failure.Number() == Failure::Overflow
              || failure.Number() == Failure::TypeMismatch);
    }
}

// Fields without NULs (a NUL ends the text on the wire) come back as written,
// colons widened.
void RoundTrip(FuzzedDataProvider& in)
{
    const auto field = [&in] {
        return Cp932::Decode(QByteArray::fromStdString(in.ConsumeRandomLengthString(200)));
    };
    const QString text = field();
    const QString title = field();
    const QString ok = field();
    const qint32 icon = in.ConsumeIntegral<qint32>();
    for (const QString* s : {&text, &title, &ok}) {
        if (s->contains(QChar(u'\0')))
            return;
    }
    const QString wire =
        QStringLiteral("1:77:user:HOST:32:") + WriteBody(text, title, ok, icon, false, {}, {});
    const Datagram d = Datagram::Parse(wire, kSender);
    const MessageBody body = ReadBody(d, QStringLiteral("T"), QStringLiteral("OK"));
    Check(body.text == Widened(text));
    Check(body.title == Widened(title));
    Check(body.ok == Widened(ok));
    Check(body.icon == icon);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ParseAnything(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    FuzzedDataProvider in(data, size);
    RoundTrip(in);
    return 0;
}
