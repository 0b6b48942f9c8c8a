#include "process/CommandText.h"

#include <algorithm>

QString shellQuoted(const QString &argument)
{
    const auto plain = [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
               QStringView(u"_@%+=:,./-").contains(c);
    };
    if (!argument.isEmpty() && std::all_of(argument.begin(), argument.end(), plain))
        return argument;
    QString quoted = argument;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString commandText(const QString &program, const QStringList &arguments)
{
    QString text = shellQuoted(program);
    for (const QString &argument : arguments)
        text += QLatin1Char(' ') + shellQuoted(argument);
    return text;
}
