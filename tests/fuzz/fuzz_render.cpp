// The rendering of any bytes, whole and in two parts, against the plain restatement.
#include "Reference.h"
#include "wire/Rendering.h"

#include <QtGlobal>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(data, qsizetype(size));
    const QString whole = tolvek::render(bytes);
    if (whole != QLatin1StringView(referenceRendering(std::string_view(bytes.data(), size))))
        qFatal("render(%s) is \"%s\"", bytes.toByteArray().toHex().constData(), qPrintable(whole));
    QString parts = tolvek::render(bytes.first(bytes.size() / 2));
    tolvek::appendRendering(parts, bytes.sliced(bytes.size() / 2));
    if (parts != whole)
        qFatal("rendering %s in two parts gives \"%s\"", bytes.toByteArray().toHex().constData(), qPrintable(parts));
    return 0;
}
