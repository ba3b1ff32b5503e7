#include "module/ModuleAddress.h"

#include <QRegularExpression>
#include <QStringList>

QString ModuleAddress::name() const {
    return QStringLiteral("%1/%2").arg(subrack + 1).arg(slot + 1);
}

bool ModuleAddress::parse(const QString& text, ModuleAddress* out) {
    static const QRegularExpression re(QStringLiteral("^([12])/([1-9]|1[0-6])$"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        return false;
    out->subrack = m.captured(1).toInt() - 1;
    out->slot = m.captured(2).toInt() - 1;
    return true;
}

QString addressNames(const ModuleAddresses& modules) {
    QStringList names;
    for (const ModuleAddress& a : modules)
        names << a.name();
    return names.join(QStringLiteral(", "));
}
