// The decode step after each query and after a command, against a reading of its own: the
// two-digit codes read from the bytes themselves, the read-outs cut from the plain rendering.
// The first input byte picks the text sent, the rest is what came back.
#include "Reference.h"
#include "commands/Vocabulary.h"
#include "status/Decode.h"
#include "wire/Framing.h"

#include <cstdint>
#include <map>

namespace {

const QString kBefore = QStringLiteral(" before");

QString reference(std::string_view sent, std::string_view got)
{
    using Words = std::map<std::string_view, const char *>;
    const auto word = [got](const Words &words) {
        const auto found = words.find(got.substr(0, 2));
        return found == words.end() || got.size() < 2 ? kBefore : QString::fromLatin1(found->second);
    };
    const std::string t = referenceRendering(got);
    const auto positions = [&t](std::size_t a, std::size_t b) {
        return QString::fromStdString(a > t.size() ? std::string() : t.substr(a - 1, b - a + 1));
    };
    if (sent == "CR0\r")
        return word({{"00", " Power ON"},
                     {"80", " Stand by"},
                     {"40", " Count down"},
                     {"20", " Cooling down"},
                     {"10", " Power abnormality"},
                     {"88", " Temperature abnormality"},
                     {"08", " Temperature abnormality"},
                     {"28", " Temperature abnormality"},
                     {"24", " Power Management Cooling"},
                     {"04", " Power Management"},
                     {"02", " Key input prohibition"}});
    if (sent == "CR1\r")
        return got.starts_with('1') ? " Computer" : got.starts_with('3') ? " Video" : kBefore;
    if (sent == "CR3\r")
        return positions(1, 8) + " Hour";
    if (sent == "CR4\r")
        return word({{"11", " Normally"},
                     {"10", " Top/Bottom reversal"},
                     {"01", " Left/Right reversal"},
                     {"00", " Top/Bottom , Left/Right reversal"}});
    if (sent == "CR6\r")
        return "  S1=" + positions(1, 10) + " C ,  S2=" + positions(15, 22) + " C ,  S3=" + positions(26, 34) + " C";
    return kBefore;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    using vocabulary::kCommands, vocabulary::kQueries;
    const std::size_t choice = data[0] % (kQueries.size() + kCommands.size());
    const QByteArray sent =
        framed(choice < kQueries.size() ? kQueries[choice].text : kCommands[choice - kQueries.size()].text);
    const std::string_view got(reinterpret_cast<const char *>(data) + 1, size - 1);
    const QString line = decodeStatus(sent, QByteArrayView(got.data(), qsizetype(got.size())), kBefore);
    const QString expected = reference(std::string_view(sent.data(), std::size_t(sent.size())), got);
    if (line != expected)
        qFatal(R"(after %s, %s reads "%s", not "%s")", sent.constData(),
               QByteArray(got.data(), qsizetype(got.size())).toHex().constData(), qPrintable(line),
               qPrintable(expected));
    return 0;
}
