#include "RepeatedKeys.h"

#include <QSet>
#include <QString>
#include <cstring>
#include <vector>

namespace {

struct Frame {
    bool object = false;
    bool expectKey = false;     // after '{' or ',' in an object
    bool awaitingValue = false; // after a key, until its value starts
    QString key;
    QSet<QString> keys;
    QSet<QString> nestedKeys; // keys whose value is an object or an array
};

// The string that starts at json[i] (its opening quote), decoded as the
// parser decodes keys, so that "a" and "\u0061" are the same key; i ends
// past the closing quote (or at the end of an unterminated string).
QString readString(const QByteArray& json, int& i)
{
    QString text;
    int runStart = ++i;
    const auto flush = [&](int end) { text += QString::fromUtf8(json.constData() + runStart, end - runStart); };
    while (i < json.size() && json[i] != '"') {
        if (json[i] != '\\') {
            ++i;
            continue;
        }
        flush(i);
        if (i + 1 >= json.size()) {
            i = json.size();
            return text;
        }
        const char escaped = json[i + 1];
        i += 2;
        if (escaped == 'u') {
            // Four hexadecimal digits; the parser refuses anything else, so
            // what such a key compares as does not matter.
            text += QChar(json.mid(i, 4).toUShort(nullptr, 16));
            i = qMin(i + 4, int(json.size()));
        } else {
            static const char from[] = "bfnrt";
            static const char to[] = "\b\f\n\r\t";
            const char* at = escaped ? strchr(from, escaped) : nullptr;
            text += QLatin1Char(at ? to[at - from] : escaped);
        }
        runStart = i;
    }
    flush(i);
    if (i < json.size())
        ++i; // the closing quote
    return text;
}

} // namespace

bool repeatsKeyAroundNestedValue(const QByteArray& json)
{
    std::vector<Frame> frames;
    // A value starts in the innermost object: is its key one the parser would leak?
    const auto valueStarts = [&](bool nested) {
        if (frames.empty() || !frames.back().awaitingValue)
            return false;
        Frame& frame = frames.back();
        frame.awaitingValue = false;
        const bool repeated = frame.keys.contains(frame.key);
        if (repeated && (nested || frame.nestedKeys.contains(frame.key)))
            return true;
        frame.keys.insert(frame.key);
        if (nested)
            frame.nestedKeys.insert(frame.key);
        return false;
    };
    int i = 0;
    while (i < json.size()) {
        const char c = json[i];
        switch (c) {
        case '{':
        case '[':
            if (valueStarts(true))
                return true;
            frames.push_back({});
            frames.back().object = c == '{';
            frames.back().expectKey = c == '{';
            ++i;
            break;
        case '}':
        case ']':
            if (!frames.empty())
                frames.pop_back();
            ++i;
            break;
        case ',':
            if (!frames.empty() && frames.back().object)
                frames.back().expectKey = true;
            ++i;
            break;
        case '"': {
            const bool isKey = !frames.empty() && frames.back().object && frames.back().expectKey;
            if (!isKey && valueStarts(false))
                return true;
            QString text = readString(json, i);
            if (isKey) {
                frames.back().expectKey = false;
                frames.back().awaitingValue = true;
                frames.back().key = std::move(text);
            }
            break;
        }
        case ' ':
        case '\t':
        case '\n':
        case '\r':
        case ':':
            ++i;
            break;
        default: // a number, true, false, null or garbage: a plain value
            if (valueStarts(false))
                return true;
            while (i < json.size() && !strchr("{}[],:\" \t\n\r", json[i]))
                ++i;
            if (i < json.size() && json[i] == '\0')
                ++i;
            break;
        }
    }
    return false;
}
