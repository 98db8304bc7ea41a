#include "DeviceName.h"

#include "wire/Text.h"

#include <QCoreApplication>
#include <QStringList>
#include <QUrl>

#include <algorithm>

namespace {

const QLatin1StringView kSeparator("://");

QString tr(const char *text)
{
    return QCoreApplication::translate("DeviceName", text);
}

QString forms()
{
    QStringList all;
    for (const devicename::Scheme &s : devicename::kSchemes)
        all.append(latin1(s.form));
    return all.join(QStringLiteral(" or "));
}

} // namespace

DeviceName::Parsed DeviceName::parse(const QString &name)
{
    const qsizetype separator = name.indexOf(kSeparator);
    if (separator < 0)
        return {DeviceName{}, {}};

    const QStringView scheme = QStringView(name).first(separator);
    const auto *found =
        std::find_if(devicename::kSchemes.begin(), devicename::kSchemes.end(), [scheme](const devicename::Scheme &s) {
            return scheme.compare(latin1(s.name), Qt::CaseInsensitive) == 0;
        });
    if (found == devicename::kSchemes.end())
        return {std::nullopt, tr("\"%1\" is no device: a gateway is written %2.").arg(name, forms())};

    // Nothing but a host and a port: a path, a query or user info would be silently dropped.
    const QUrl url(name, QUrl::StrictMode);
    const int port = url.port();
    if (!url.isValid() || url.host().isEmpty() || port <= 0 || !url.userInfo().isEmpty() || !url.path().isEmpty()
        || url.hasQuery() || url.hasFragment())
        return {std::nullopt, tr("\"%1\" is not a gateway's address of the form %2.").arg(name, latin1(found->form))};
    return {DeviceName{found->kind, url.host(), quint16(port)}, {}};
}
