// Requests whose objects repeat a key around an object or an array are the
// ones Qt's parser would leak on; they must be found wherever they hide and
// nothing else may be refused.
#include "RepeatedKeys.h"
#include "TextMessageProcessor.h"

#include <QTest>

class RepeatedKeysTest : public QObject {
    Q_OBJECT
private slots:
    void found_data();
    void found();
    void refusedRequestsAreNotRead();
};

void RepeatedKeysTest::found_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("repeats");
    QTest::newRow("object twice") << QByteArray(R"({"a":{"x":1},"a":{"y":2}})") << true;
    QTest::newRow("array then string") << QByteArray(R"({"a":[1],"a":"s"})") << true;
    QTest::newRow("string then object") << QByteArray(R"({"a":"s","a":{}})") << true;
    QTest::newRow("escaped spelling") << QByteArray(R"({"a":[],"\u0061":1})") << true;
    QTest::newRow("escaped quote in key") << QByteArray(R"({"a\"b":[],"a\u0022b":0})") << true;
    QTest::newRow("deep inside an array") << QByteArray(R"({"f":"x","l":[1,{"k":{},"k":null}]})") << true;
    QTest::newRow("with white space") << QByteArray("{ \"a\" : [ ] ,\n\t\"a\" : 2 }") << true;
    QTest::newRow("prefix of a text") << QByteArray(R"({"a":{"x":1},"a":{"y")") << true;
    QTest::newRow("plain values twice") << QByteArray(R"({"function":"A","function":"B"})") << false;
    QTest::newRow("numbers and literals") << QByteArray(R"({"a":1,"a":true,"a":null,"a":-2.5e3})") << false;
    QTest::newRow("same key, sibling objects") << QByteArray(R"({"p":{"a":[]},"q":{"a":[]}})") << false;
    QTest::newRow("same key, other levels") << QByteArray(R"({"a":{"a":{"a":[]}}})") << false;
    QTest::newRow("brackets inside strings") << QByteArray(R"({"a":"{\"a\":[","b":"]}","a2":[]})") << false;
    QTest::newRow("array of objects") << QByteArray(R"([{"a":[]},{"a":[]}])") << false;
    QTest::newRow("not json") << QByteArray("hello {a: [}") << false;
    QTest::newRow("unterminated escape") << QByteArray("{\"a\\") << false;
    QTest::newRow("nul byte") << QByteArray("{\"a\":[],\0\"a\":1}", 15) << true;
}

void RepeatedKeysTest::found()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, repeats);
    QCOMPARE(repeatsKeyAroundNestedValue(json), repeats);
}

void RepeatedKeysTest::refusedRequestsAreNotRead()
{
    // Plain repeats keep the parser's meaning: the last one counts.
    QCOMPARE(CTextMessageProcessor::ParseJson(R"({"a":"1","a":"2"})", "a"), QStringLiteral("2"));
    // A refused request reads as text that is not a JSON object.
    const QString refused = R"({"function":"ZCSetPenWidth","Width":"4","o":{},"o":[]})";
    QCOMPARE(CTextMessageProcessor::ParseJson(refused, "function"), QString());
    QCOMPARE(CTextMessageProcessor::ParseJson(refused, "Width"), QString());
}

QTEST_GUILESS_MAIN(RepeatedKeysTest)
#include "test_repeated_keys.moc"
