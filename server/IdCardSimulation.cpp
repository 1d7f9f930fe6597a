// "SimIDCard" (only with --simulate): scripts the simulated identity card
// readers, the SAM reader ("reader":"sam", the default) or the HID reader
// ("reader":"hid"). A request is checked in full before anything changes,
// so a refused one leaves the reader as it was.
#include "TextMessageProcessor.h"

#include "IdCardRecords.h"
#include "IdCardSimulation.h"
#include "SimulatedHidCardReader.h"
#include "SimulatedSamReader.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <optional>

namespace {

// The holder's fields a page may give by name (the card reply's keys).
const char* const kHolderKeys[] = {"CardType", "name",     "englishName", "gender",   "nation",
                                   "address",  "birthday", "effectDate",  "expireDate", "idNum",
                                   "issueOrg", "nationCode", "passNum",   "signCount", "CertVersion"};
const char* const kScriptKeys[] = {"reader", "module", "record", "present", "attached", "samId"};
const char* const kEnvelopeKeys[] = {"function", "act", "_tflag"};

template <std::size_t N>
bool listed(const char* const (&keys)[N], const QString& key)
{
    for (const char* k : keys)
        if (key == QLatin1String(k))
            return true;
    return false;
}

struct Script {
    bool sam = true;
    std::optional<SimulatedSamReader::Module> module;
    std::optional<QByteArray> record;
    std::optional<bool> present;
    std::optional<bool> attached;
    std::optional<QByteArray> samId;
};

// "1" or "0" (also as a number or a boolean).
bool readSwitch(const QJsonObject& request, const char* key, const char* meaning, std::optional<bool>& value,
                QString& error)
{
    const QString name = QString::fromLatin1(key);
    if (!request.contains(name))
        return true;
    const QJsonValue v = request.value(name);
    if (v.isBool()) {
        value = v.toBool();
        return true;
    }
    const QString s = v.isDouble() ? QString::number(v.toDouble()) : v.toString(QStringLiteral("?"));
    if (s == QLatin1String("1") || s == QLatin1String("0")) {
        value = s == QLatin1String("1");
        return true;
    }
    error = QStringLiteral("%1 must be \"1\" or \"0\" (%2)").arg(name, QLatin1String(meaning));
    return false;
}

QString readScript(const QJsonObject& request, Script& script)
{
    simdevices::IdCardFields holder;
    for (auto it = request.begin(); it != request.end(); ++it) {
        const QString& key = it.key();
        if (listed(kHolderKeys, key)) {
            if (!it.value().isString())
                return QStringLiteral("%1 must be a string").arg(key);
            holder.insert(key, it.value().toString());
        } else if (!listed(kScriptKeys, key) && !listed(kEnvelopeKeys, key)) {
            return QStringLiteral("unknown key %1: SimIDCard takes reader, module, record, present, attached, "
                                  "samId and the holder's fields")
                .arg(key);
        }
    }

    const QString reader = request.value(QStringLiteral("reader")).toString(QStringLiteral("?"));
    if (!request.contains(QStringLiteral("reader")) || reader == QLatin1String("sam"))
        script.sam = true;
    else if (reader == QLatin1String("hid"))
        script.sam = false;
    else
        return QStringLiteral("reader must be \"sam\" or \"hid\"");

    if (request.contains(QStringLiteral("module"))) {
        if (!script.sam)
            return QStringLiteral("module is the SAM reader's; the HID reader has none");
        const QString module = request.value(QStringLiteral("module")).toString();
        if (module == QLatin1String("0501"))
            script.module = SimulatedSamReader::Module::M0501;
        else if (module == QLatin1String("0503"))
            script.module = SimulatedSamReader::Module::M0503;
        else
            return QStringLiteral("module must be \"0501\" or \"0503\"");
    }

    if (request.contains(QStringLiteral("samId"))) {
        if (!script.sam)
            return QStringLiteral("samId is the SAM reader's; the HID reader has none");
        static const QRegularExpression hex32(QStringLiteral("^[0-9A-Fa-f]{32}$"));
        const QString id = request.value(QStringLiteral("samId")).toString();
        if (!hex32.match(id).hasMatch())
            return QStringLiteral("samId must be 32 hexadecimal digits");
        script.samId = QByteArray::fromHex(id.toLatin1());
    }

    if (request.contains(QStringLiteral("record"))) {
        if (!holder.isEmpty())
            return QStringLiteral("give the card as record or as the holder's fields, not both");
        const QJsonValue value = request.value(QStringLiteral("record"));
        const auto decoded =
            QByteArray::fromBase64Encoding(value.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!value.isString() || value.toString().isEmpty() || !decoded)
            return QStringLiteral("record must be Base64 text");
        const int size = decoded.decoded.size();
        if (size != 256 + 1024 && size != 256 + 1024 + 1024)
            return QStringLiteral("record must hold 1280 bytes (256 of text, 1024 of portrait) or 2304 (and 1024 "
                                  "of fingerprint data), not %1")
                .arg(size);
        script.record = decoded.decoded;
    } else if (!holder.isEmpty()) {
        const simdevices::BuiltRecord built = simdevices::idCardRecord(holder);
        if (!built.error.isEmpty())
            return built.error;
        script.record = built.record;
    }

    QString error;
    if (!readSwitch(request, "present", "1 puts the card on the reader, 0 takes it off", script.present, error)
        || !readSwitch(request, "attached", "0 unplugs the reader, 1 plugs it back", script.attached, error))
        return error;
    // A card given is a card laid on the reader, unless the page says not.
    if (script.record && !script.present)
        script.present = true;
    return QString();
}

QString moduleName(SimulatedSamReader::Module module)
{
    return module == SimulatedSamReader::Module::M0501 ? QStringLiteral("0501") : QStringLiteral("0503");
}

QString onOff(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

// The reader as it now stands, for the reply's data.
SimulatedCardReader& scriptedReader(bool sam)
{
    if (sam)
        return simulatedSamReader();
    return simulatedHidCardReader();
}

QString state(bool sam)
{
    const SimulatedCardReader& reader = scriptedReader(sam);
    QJsonObject s;
    s.insert(QStringLiteral("reader"), sam ? QStringLiteral("sam") : QStringLiteral("hid"));
    s.insert(QStringLiteral("present"), onOff(reader.cardPresent()));
    s.insert(QStringLiteral("attached"), onOff(reader.plugged()));
    if (sam) {
        const SimulatedSamReader& samReader = simulatedSamReader();
        s.insert(QStringLiteral("module"), moduleName(samReader.module()));
        s.insert(QStringLiteral("samId"), QString::fromLatin1(samReader.samId().toHex().toUpper()));
    }
    return QString::fromUtf8(QJsonDocument(s).toJson(QJsonDocument::Compact));
}

} // namespace

void CTextMessageProcessor::SimIDCard(QString functionName, QWebSocket* client, QString message)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(message.toUtf8(), &parseError);
    Script script;
    const QString error = document.isObject() ? readScript(document.object(), script)
                                              : QStringLiteral("the request is not a JSON object");
    if (!error.isEmpty()) {
        sendReply(client, CreateJson(functionName, 0, error, QString(), QString()));
        return;
    }

    if (script.sam) {
        SimulatedSamReader& sam = simulatedSamReader();
        if (script.module)
            sam.setModule(*script.module);
        if (script.samId)
            sam.setSamId(*script.samId);
    }
    SimulatedCardReader& reader = scriptedReader(script.sam);
    if (script.record)
        reader.setCardRecord(*script.record);
    if (script.present)
        reader.setCardPresent(*script.present);
    if (script.attached)
        reader.setPlugged(*script.attached);
    sendReply(client, CreateJson(functionName, 1, QString(), state(script.sam), QString()));
}
