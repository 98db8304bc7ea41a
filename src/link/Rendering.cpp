#include "Rendering.h"

namespace tolvek {

void appendRendering(QString &out, QByteArrayView text)
{
    for (const char c : text) {
        const std::string_view piece = renderPiece(static_cast<unsigned char>(c));
        out.append(QLatin1StringView(piece.data(), qsizetype(piece.size())));
    }
}

QString render(QByteArrayView text)
{
    QString out;
    out.reserve(1 + text.size() * 2);
    out.append(QLatin1StringView(kRenderLead.data(), qsizetype(kRenderLead.size())));
    appendRendering(out, text);
    return out;
}

} // namespace tolvek
