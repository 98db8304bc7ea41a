#include "Rendering.h"

#include "Text.h"

namespace tolvek {

void appendRendering(QString &out, QByteArrayView text)
{
    for (const char c : text) {
        const std::string_view piece = renderPiece(static_cast<unsigned char>(c));
        out.append(latin1(piece));
    }
}

QString render(QByteArrayView text)
{
    QString out;
    out.reserve(1 + text.size() * 2);
    out.append(latin1(kRenderLead));
    appendRendering(out, text);
    return out;
}

} // namespace tolvek
