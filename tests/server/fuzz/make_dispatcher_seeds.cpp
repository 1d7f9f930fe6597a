// Seeds for dispatcher_fuzz, taken from the README so that they follow it:
//
//  - every request shown in it: an indented example line or an inline code
//    span that is a JSON object with "function" or "act" (placeholders such
//    as [[x,y,pressure],...] made into numbers);
//  - every row of a command table (header "command"): the command with each
//    of its request keys set;
//  - every row of a key table (header "key") that follows a simulation
//    command's example: that command with the key at each quoted value of
//    the row.
//
//     make_dispatcher_seeds OUTDIR
//
// Fails when the README yields no command table or no simulation command,
// so that the fuzzer never silently runs on too few seeds.
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <cstdio>

#ifndef PERIPHD_README
#error "PERIPHD_README must name the README"
#endif

namespace {

// A README template to JSON: "..." entries dropped, bare words other than
// JSON's literals made numbers; text in strings kept as it is.
QString fillPlaceholders(const QString& line)
{
    QString out;
    bool inString = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (inString) {
            out += c;
            if (c == QLatin1Char('\\') && i + 1 < line.size())
                out += line.at(++i);
            else if (c == QLatin1Char('"'))
                inString = false;
        } else if (c == QLatin1Char('"')) {
            inString = true;
            out += c;
        } else if (line.midRef(i, 3) == QLatin1String("...")) {
            while (out.endsWith(QLatin1Char(',')) || out.endsWith(QLatin1Char(' ')))
                out.chop(1);
            i += 2;
        } else if (c.isLetter()) {
            int end = i;
            while (end < line.size() && (line.at(end).isLetterOrNumber() || line.at(end) == QLatin1Char('_')))
                ++end;
            const QString word = line.mid(i, end - i);
            out += (word == QLatin1String("true") || word == QLatin1String("false") || word == QLatin1String("null"))
                       ? word
                       : QStringLiteral("100");
            i = end - 1;
        } else {
            out += c;
        }
    }
    return out;
}

QJsonObject request(const QString& text)
{
    QJsonParseError error;
    QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError)
        document = QJsonDocument::fromJson(fillPlaceholders(text).toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return {};
    const QJsonObject object = document.object();
    return object.contains(QStringLiteral("function")) || object.contains(QStringLiteral("act")) ? object
                                                                                              : QJsonObject();
}

QStringList cells(const QString& row)
{
    QStringList parts = row.trimmed().split(QLatin1Char('|'));
    if (parts.size() < 3)
        return {};
    parts.removeFirst();
    parts.removeLast();
    for (QString& part : parts)
        part = part.trimmed();
    return parts;
}

QStringList matches(const QRegularExpression& pattern, const QString& text, int group = 1)
{
    QStringList found;
    for (auto it = pattern.globalMatch(text); it.hasNext();)
        found << it.next().captured(group);
    return found;
}

const QRegularExpression codeSpan(QStringLiteral("`([^`]+)`"));
const QRegularExpression quoted(QStringLiteral("\"([^\"]*)\""));

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    QFile readme(QStringLiteral(PERIPHD_README));
    if (!readme.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", PERIPHD_README);
        return 1;
    }
    const QStringList lines = QString::fromUtf8(readme.readAll()).split(QLatin1Char('\n'));

    QList<QJsonObject> seeds;
    QSet<QString> commands;
    int commandRows = 0;
    QString lastSimulationCommand; // of the last example shown
    enum { None, CommandTable, KeyTable } table = None;
    for (const QString& line : lines) {
        const QString trimmed = line.trimmed();
        if (!trimmed.startsWith(QLatin1Char('|')))
            table = None;

        QStringList candidates;
        if (line.startsWith(QLatin1String("    ")) && trimmed.startsWith(QLatin1Char('{')))
            candidates << trimmed;
        candidates << matches(codeSpan, line);
        for (const QString& candidate : qAsConst(candidates)) {
            const QJsonObject object = request(candidate);
            if (object.isEmpty())
                continue;
            seeds << object;
            const QString function = object.value(QStringLiteral("function")).toString();
            if (function.startsWith(QLatin1String("Sim")))
                lastSimulationCommand = function;
        }

        const QStringList row = cells(line);
        if (row.isEmpty())
            continue;
        if (row.first() == QLatin1String("command")) {
            table = CommandTable;
            continue;
        }
        if (row.first() == QLatin1String("key")) {
            table = lastSimulationCommand.isEmpty() ? None : KeyTable;
            continue;
        }
        if (row.first().startsWith(QLatin1String("---")))
            continue;
        if (table == CommandTable) {
            // "`ZCGetSAMNum`, `ZCReadIDCard`": each named command; request
            // keys, when the table has them, in the second column.
            const QStringList keys = row.size() > 2 ? matches(codeSpan, row.at(1)) : QStringList();
            for (const QString& name : matches(codeSpan, row.first())) {
                if (name.startsWith(QLatin1Char('{')))
                    continue; // an "act" form, taken as an inline request above
                QJsonObject object{{QStringLiteral("function"), name},
                                   {QStringLiteral("_tflag"), QString::number(seeds.size())}};
                for (const QString& key : keys)
                    object.insert(key, QStringLiteral("1"));
                seeds << object;
                commands << name;
                ++commandRows;
            }
        } else if (table == KeyTable) {
            const QStringList keys = matches(codeSpan, row.first());
            QStringList values = matches(quoted, row.value(1));
            values << QString();
            for (const QString& key : keys)
                for (const QString& value : qAsConst(values))
                    seeds << QJsonObject{{QStringLiteral("function"), lastSimulationCommand}, {key, value}};
        }
    }

    bool simulation = false;
    for (const QJsonObject& seed : qAsConst(seeds))
        simulation |= seed.value(QStringLiteral("function")).toString().startsWith(QLatin1String("Sim"));
    if (commandRows == 0 || !simulation) {
        std::fprintf(stderr, "the README gave %d commands from its tables and %s simulation command\n", commandRows,
                     simulation ? "a" : "no");
        return 1;
    }

    const QDir out(QString::fromLocal8Bit(argv[1]));
    QSet<QByteArray> written;
    for (const QJsonObject& seed : qAsConst(seeds)) {
        const QByteArray text = QJsonDocument(seed).toJson(QJsonDocument::Compact);
        if (written.contains(text))
            continue;
        QFile file(out.filePath(QStringLiteral("readme-%1.json").arg(written.size(), 3, 10, QLatin1Char('0'))));
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
            return 1;
        }
        written << text;
    }
    std::printf("%d seeds, %d commands from the tables\n", int(written.size()), int(commands.size()));
    return 0;
}
