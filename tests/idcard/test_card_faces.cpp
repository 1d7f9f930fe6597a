// The card faces, rendered on the offscreen platform and read back pixel
// by pixel: positions, fonts, the birth date and address layout, the
// portrait's box and transparent white, the files, and the templates'
// look-up.
#include "CardRecordFixtures.h"
#include "FaceFonts.h"
#include "FaceText.h"
#include "InstalledData.h"
#include "ReadIDCard.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QTest>
#include <QTextCodec>

#include <cstring>

using namespace fixtures;

namespace {

const QColor templateGreen(0, 150, 0);

QPixmap plainTemplate(int width = 856, int height = 545)
{
    QPixmap face(width, height);
    face.fill(templateGreen);
    return face;
}

IDINFO emptyInfo()
{
    IDINFO info;
    std::memset(&info, 0, sizeof(info));
    return info;
}

void setField(char* field, std::size_t width, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    QVERIFY(std::size_t(utf8.size()) < width);
    std::memcpy(field, utf8.constData(), std::size_t(utf8.size()) + 1);
}
#define SET(info, field, text) setField((info).field, sizeof((info).field), text)

QImage renderFront(const IDINFO& info, int width = 856, int height = 545)
{
    QPixmap face = plainTemplate(width, height);
    IDINFO copy = info;
    ReadIDCard().addMask(face, &copy);
    return face.toImage().convertToFormat(QImage::Format_RGB32);
}

QImage renderBack(const IDINFO& info)
{
    QPixmap face = plainTemplate();
    IDINFO copy = info;
    ReadIDCard().addMaskBack(face, &copy);
    return face.toImage().convertToFormat(QImage::Format_RGB32);
}

// The bounding box of the pixels of region where a and b differ.
QRect inkBox(const QImage& a, const QImage& b, const QRect& region)
{
    QRect box;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            if (qAbs(qRed(p) - qRed(q)) + qAbs(qGreen(p) - qGreen(q)) + qAbs(qBlue(p) - qBlue(q)) > 60)
                box |= QRect(x, y, 1, 1);
        }
    return box;
}

bool near(QRgb pixel, const QColor& colour, int tolerance = 6)
{
    return qAbs(qRed(pixel) - colour.red()) <= tolerance && qAbs(qGreen(pixel) - colour.green()) <= tolerance &&
           qAbs(qBlue(pixel) - colour.blue()) <= tolerance;
}

// A 102 x 126 portrait: red left half on white, a near-white block
// (one channel at 240) and a barely white block (all above 240).
QImage testPortrait()
{
    QImage p(102, 126, QImage::Format_RGB32);
    p.fill(Qt::white);
    QPainter painter(&p);
    painter.fillRect(0, 0, 51, 126, QColor(200, 30, 30));
    painter.fillRect(60, 10, 31, 31, QColor(240, 250, 250));
    painter.fillRect(60, 80, 31, 31, QColor(241, 241, 241));
    return p;
}

} // namespace

class TestCardFaces : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void faceFontsResolveToDebianFonts();
    void nameBaselineAndScaling();
    void birthDateIsDrawnWithoutLeadingZeros();
    void addressBreaksIntoLinesOfElevenCharacters();
    void portraitInItsBoxWithWhiteMadeTransparent();
    void missingPortraitLeavesTheBoxEmpty();
    void backFaceAuthorityAndValidity();
    void facesAreWrittenAsJpegAndAMissingTemplateLeavesAnEmptyFile();
    void templatesFromTheWorkingDirectoryOrBesideTheProgram();
    void renderingLeavesTheLocalCodecAlone();
    void labelsKeptWithTheTemplateGiveTheSameFaces();

private:
    std::unique_ptr<ScratchDirectory> m_scratch;
};

void TestCardFaces::initTestCase()
{
    QVERIFY(idcard::loadFaceFontAliases(QStringLiteral(PERIPHD_FONT_ALIASES)));
}

void TestCardFaces::init()
{
    m_scratch = std::make_unique<ScratchDirectory>();
    QVERIFY(m_scratch->ok());
}

void TestCardFaces::cleanup()
{
    m_scratch.reset();
}

void TestCardFaces::faceFontsResolveToDebianFonts()
{
    const struct {
        const char* family;
        const char* resolved;
    } cases[] = {{"SimHei", "Noto Sans CJK SC"},
                 {"宋体", "Noto Serif CJK SC"},
                 {"SimSun", "Noto Serif CJK SC"},
                 {"Tahoma", "Noto Sans CJK SC"}};
    for (const auto& c : cases)
        for (int weight : {0, 50})
            QCOMPARE(QFontInfo(QFont(QString::fromUtf8(c.family), 27, weight)).family(), QString::fromUtf8(c.resolved));
    // The file the service loads at start-up, staged beside the built periphd.
    const QString staged = idcard::installedDataFile(QStringLiteral("fonts.conf"), QStringLiteral(PERIPHD_APP_DIR));
    QVERIFY2(QFile::exists(staged), qPrintable(staged));
    QVERIFY(idcard::loadFaceFontAliases(staged));
    QVERIFY(!idcard::loadFaceFontAliases(QStringLiteral("no-such-aliases.conf")));
}

void TestCardFaces::nameBaselineAndScaling()
{
    IDINFO info = emptyInfo();
    SET(info, name, QStringLiteral("LLL"));
    const QImage blank = renderFront(emptyInfo());
    const QRect name = inkBox(renderFront(info), blank, QRect(150, 60, 300, 80));
    // 'L' stands on the baseline (y 118) and starts just right of x 172.
    QVERIFY2(name.bottom() >= 116 && name.bottom() <= 118, qPrintable(QString::number(name.bottom())));
    QVERIFY2(name.left() >= 172 && name.left() <= 180, qPrintable(QString::number(name.left())));
    // SimHei 31 (Noto Sans CJK SC): the cap height of a 31-point font.
    const int capHeight = QFontMetrics(QFont(QStringLiteral("SimHei"), 31, 0)).tightBoundingRect(QStringLiteral("L")).height();
    QVERIFY2(qAbs(name.height() - capHeight) <= 2, qPrintable(QStringLiteral("%1 vs %2").arg(name.height()).arg(capHeight)));

    // Positions scale with the template; offsets are pixels and do not:
    // on 1000 x 636, x = 1000 * 17.2 / 85.6 = 200.9, y = 636 * 7 / 54.47 + 48 = 81.7 + 48.
    const QRect scaled = inkBox(renderFront(info, 1000, 636), renderFront(emptyInfo(), 1000, 636), QRect(180, 60, 300, 90));
    QVERIFY2(scaled.bottom() >= 127 && scaled.bottom() <= 129, qPrintable(QString::number(scaled.bottom())));
    QVERIFY2(scaled.left() >= 200 && scaled.left() <= 208, qPrintable(QString::number(scaled.left())));
}

void TestCardFaces::birthDateIsDrawnWithoutLeadingZeros()
{
    const struct {
        const char* birthday;
        const char *year, *month, *day;
    } cases[] = {{"19900105", "1990", "1", "5"}, {"19901231", "1990", "12", "31"}, {"19900910", "1990", "9", "10"},
                 {"1990", "1990", "", ""},       {"199001", "1990", "1", ""},       {"", "", "", ""}};
    for (const auto& c : cases) {
        const idcard::BirthDateParts parts = idcard::splitBirthDate(QString::fromLatin1(c.birthday));
        QCOMPARE(parts.year, QString::fromLatin1(c.year));
        QCOMPARE(parts.month, QString::fromLatin1(c.month));
        QCOMPARE(parts.day, QString::fromLatin1(c.day));
    }

    // Month at x 312, day at x 376, on the baseline 208 + 48.
    const QImage blank = renderFront(emptyInfo());
    const auto drawn = [&](const char* birthday, const QRect& column) {
        IDINFO info = emptyInfo();
        SET(info, birthday, QString::fromLatin1(birthday));
        return inkBox(renderFront(info), blank, column);
    };
    const QRect monthColumn(300, 215, 70, 50), dayColumn(370, 215, 70, 50);
    const QRect oneDigitMonth = drawn("19900105", monthColumn), twoDigitMonth = drawn("19901231", monthColumn);
    const QRect oneDigitDay = drawn("19900105", dayColumn), twoDigitDay = drawn("19901231", dayColumn);
    // Digits stand on the baseline and start a bearing right of their x.
    const auto drawnAt = [](const QRect& r, int x) {
        return r.bottom() >= 254 && r.bottom() <= 256 && r.left() >= x && r.left() <= x + 8;
    };
    QVERIFY(drawnAt(oneDigitMonth, 312) && drawnAt(twoDigitMonth, 312));
    QVERIFY(drawnAt(oneDigitDay, 376) && drawnAt(twoDigitDay, 376));
    QVERIFY(twoDigitMonth.width() > 1.6 * oneDigitMonth.width());
    QVERIFY(twoDigitDay.width() > 1.6 * oneDigitDay.width());
    const QRect year = drawn("19900105", QRect(160, 215, 140, 50));
    QVERIFY(year.left() >= 172 && year.left() <= 182);
}

void TestCardFaces::addressBreaksIntoLinesOfElevenCharacters()
{
    const QString thirty = QStringLiteral("北京市东城区景山前街四号院二号楼三单元五零一室甲乙丙丁戊己庚");
    QCOMPARE(thirty.size(), 30);
    QCOMPARE(idcard::addressLines(thirty.left(5)), QStringList{thirty.left(5)});
    QCOMPARE(idcard::addressLines(thirty.left(11)), QStringList{thirty.left(11)});
    QCOMPARE(idcard::addressLines(thirty.left(12)), (QStringList{thirty.left(11), thirty.mid(11, 1)}));
    QCOMPARE(idcard::addressLines(thirty), (QStringList{thirty.left(11), thirty.mid(11, 11), thirty.mid(22)}));
    // A character outside the BMP counts as one and is never torn.
    const QString wide = QString(10, QChar(0x4E00)) + QString::fromUcs4(U"\U00020000") + QStringLiteral("一");
    QCOMPARE(idcard::addressLines(wide), (QStringList{wide.left(12), QStringLiteral("一")}));

    // Baselines 283 + 39, + 99, + 159.
    const QImage blank = renderFront(emptyInfo());
    const auto lines = [&](const QString& address) {
        IDINFO info = emptyInfo();
        SET(info, address, address);
        const QImage face = renderFront(info);
        QList<QRect> boxes;
        for (int base : {322, 382, 442})
            boxes << inkBox(face, blank, QRect(160, base - 45, 370, 53));
        return boxes;
    };
    const QList<QRect> five = lines(thirty.left(5)), twelve = lines(thirty.left(12)), all = lines(thirty);
    QVERIFY(!five[0].isNull() && five[1].isNull() && five[2].isNull());
    QVERIFY(!twelve[0].isNull() && !twelve[1].isNull() && twelve[2].isNull());
    QVERIFY(twelve[1].width() < twelve[0].width() / 5); // one character on line 2
    QVERIFY(!all[0].isNull() && !all[1].isNull() && !all[2].isNull());
    for (int i = 0; i < 3; ++i) {
        QVERIFY2(all[i].bottom() >= 322 + 60 * i - 6 && all[i].bottom() <= 322 + 60 * i + 8, qPrintable(QString::number(all[i].bottom())));
        QVERIFY(all[i].left() >= 172 && all[i].left() <= 182);
    }
}

void TestCardFaces::portraitInItsBoxWithWhiteMadeTransparent()
{
    QVERIFY(testPortrait().save(QStringLiteral("simage_file.bmp")));
    const QImage face = renderFront(emptyInfo());
    // The box: 307 x 378 at (538, 80); the red left half fills its left edge.
    QVERIFY(near(face.pixel(538, 200), QColor(200, 30, 30)));
    QVERIFY(near(face.pixel(537, 200), templateGreen));
    QVERIFY(near(face.pixel(600, 80), QColor(200, 30, 30)));
    QVERIFY(near(face.pixel(600, 79), templateGreen));
    QVERIFY(near(face.pixel(600, 457), QColor(200, 30, 30)));
    QVERIFY(near(face.pixel(600, 458), templateGreen));
    // White and all-above-240 let the template through; one channel at 240 stays.
    QVERIFY(near(face.pixel(800, 300), templateGreen));
    QVERIFY(near(face.pixel(763, 365), templateGreen));
    QVERIFY(near(face.pixel(763, 155), QColor(240, 250, 250)));
    // The prepared portrait replaces the decoded one, at its drawn size.
    const QImage rewritten(QStringLiteral("simage_file.bmp"));
    QCOMPARE(rewritten.size(), QSize(307, 378));
}

void TestCardFaces::missingPortraitLeavesTheBoxEmpty()
{
    QVERIFY(!QFile::exists(QStringLiteral("simage_file.bmp")));
    const QImage face = renderFront(emptyInfo());
    for (const QPoint p : {QPoint(540, 82), QPoint(690, 270), QPoint(843, 455)})
        QVERIFY(near(face.pixel(p), templateGreen));
    QVERIFY(!QFile::exists(QStringLiteral("simage_file.bmp")));
}

void TestCardFaces::backFaceAuthorityAndValidity()
{
    IDINFO info = emptyInfo();
    SET(info, issueOrg, QStringLiteral("北京市公安局东城分局"));
    SET(info, effectDate, QStringLiteral("20200101"));
    SET(info, expireDate, QStringLiteral("20400101"));
    const QImage blank = renderBack(emptyInfo());
    const QImage face = renderBack(info);
    // Titles and labels are on every back face.
    QVERIFY(!inkBox(blank, plainTemplate().toImage().convertToFormat(QImage::Format_RGB32), QRect(280, 60, 500, 70)).isNull());
    // Authority and validity at x 350, baselines 385 + 40 and 455 + 40.
    const QRect org = inkBox(face, blank, QRect(340, 380, 500, 55));
    const QRect validity = inkBox(face, blank, QRect(340, 450, 510, 55));
    QVERIFY(org.left() >= 350 && org.left() <= 356 && org.bottom() >= 420 && org.bottom() <= 430);
    QVERIFY(validity.left() >= 350 && validity.left() <= 356 && validity.bottom() >= 492 && validity.bottom() <= 496);
    // The two dates joined by "-", in SimHei 26, weight 5, one pixel of
    // spacing: the same ink as that text drawn there.
    QPixmap reference = plainTemplate();
    {
        QPainter painter(&reference);
        QFont font(QStringLiteral("SimHei"), 26, 5);
        font.setLetterSpacing(QFont::AbsoluteSpacing, 1);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QPoint(350, 495), QStringLiteral("20200101-20400101"));
    }
    const QImage plain = plainTemplate().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(validity, inkBox(reference.toImage().convertToFormat(QImage::Format_RGB32), plain, QRect(340, 450, 510, 55)));
}

void TestCardFaces::facesAreWrittenAsJpegAndAMissingTemplateLeavesAnEmptyFile()
{
    QVERIFY(plainTemplate().save(QStringLiteral("front.jpg"), "JPEG"));
    QVERIFY(plainTemplate().save(QStringLiteral("back.jpg"), "JPEG"));
    QVERIFY(testPortrait().save(QStringLiteral("simage_file.bmp")));
    IDINFO info = emptyInfo();
    SET(info, name, QStringLiteral("张三"));
    ReadIDCard reader;
    reader.IDCardPicFront(&info);
    reader.IDCardPicBack(&info);
    for (const char* written : {"frontNew.jpg", "backNew.jpg"}) {
        const QByteArray bytes = readFile(QString::fromLatin1(written));
        QVERIFY(bytes.startsWith("\xFF\xD8\xFF")); // JPEG
        QCOMPARE(QImage::fromData(bytes).size(), QSize(856, 545));
    }
    QVERIFY(near(QImage(QStringLiteral("frontNew.jpg")).pixel(560, 200), QColor(200, 30, 30), 20));

    // A template that is not there: an empty target, replacing the old one.
    QString missing = QStringLiteral("no-template.jpg"), target = QStringLiteral("frontNew.jpg");
    reader.addMaskByPath(missing, target, &info);
    QVERIFY(QFile::exists(target));
    QCOMPARE(QFileInfo(target).size(), 0);
    target = QStringLiteral("backNew.jpg");
    reader.addMaskByPathBack(missing, target, &info);
    QCOMPARE(QFileInfo(target).size(), 0);
}

void TestCardFaces::templatesFromTheWorkingDirectoryOrBesideTheProgram()
{
    const QString builtApp = QStringLiteral(PERIPHD_APP_DIR);
    // Nothing in the working directory: the build tree's staged templates.
    for (const char* name : {"front.jpg", "back.jpg"}) {
        const QString found = idcard::faceTemplatePath(QString::fromLatin1(name), builtApp);
        QCOMPARE(found, QDir::cleanPath(builtApp + QStringLiteral("/../share/periphd/") + QString::fromLatin1(name)));
        QCOMPARE(QImage(found).size(), QSize(1070, 681)); // the card's proportions
    }
    // An installed layout: <prefix>/bin/periphd finds <prefix>/share/periphd.
    QVERIFY(QDir().mkpath(QStringLiteral("prefix/bin")) && QDir().mkpath(QStringLiteral("prefix/share/periphd")));
    QVERIFY(plainTemplate().save(QStringLiteral("prefix/share/periphd/back.jpg"), "JPEG"));
    const QString bin = QDir::current().absoluteFilePath(QStringLiteral("prefix/bin"));
    QCOMPARE(idcard::faceTemplatePath(QStringLiteral("back.jpg"), bin),
             QDir::current().absoluteFilePath(QStringLiteral("prefix/share/periphd/back.jpg")));
    // Neither: "./front.jpg", which then gives the empty face.
    QCOMPARE(idcard::faceTemplatePath(QStringLiteral("front.jpg"), bin), QStringLiteral("./front.jpg"));
    // The working directory's own template wins.
    QVERIFY(plainTemplate().save(QStringLiteral("back.jpg"), "JPEG"));
    QCOMPARE(idcard::faceTemplatePath(QStringLiteral("back.jpg"), bin), QStringLiteral("./back.jpg"));
    QCOMPARE(idcard::faceTemplatePath(QStringLiteral("back.jpg"), builtApp), QStringLiteral("./back.jpg"));
}

void TestCardFaces::renderingLeavesTheLocalCodecAlone()
{
    const QByteArray before = QTextCodec::codecForLocale()->name();
    IDINFO info = emptyInfo();
    SET(info, name, QStringLiteral("张三"));
    SET(info, address, QStringLiteral("北京市东城区景山前街四号院二号楼"));
    renderFront(info);
    renderBack(info);
    QCOMPARE(QTextCodec::codecForLocale()->name(), before);
    QVERIFY(before != "GB2312");
}

// The faces' labels are drawn once per template and kept; the faces come
// out byte for byte as when everything is drawn on the template at once,
// on the first read and the next, and follow a template that is replaced.
void TestCardFaces::labelsKeptWithTheTemplateGiveTheSameFaces()
{
    for (const char* name : {"front.jpg", "back.jpg"})
        QVERIFY(QFile::copy(QStringLiteral(PERIPHD_APP_DIR "/../share/periphd/") + QLatin1String(name),
                            QLatin1String(name)));
    IDINFO info = emptyInfo();
    SET(info, name, QStringLiteral("张三"));
    SET(info, gender, QStringLiteral("男"));
    SET(info, nation, QStringLiteral("汉"));
    SET(info, birthday, QStringLiteral("19900105"));
    SET(info, address, QStringLiteral("北京市东城区景山前街四号院二号楼三单元"));
    SET(info, idNum, QStringLiteral("11010119900105001X"));
    SET(info, issueOrg, QStringLiteral("北京市公安局东城分局"));
    SET(info, effectDate, QStringLiteral("20200101"));
    SET(info, expireDate, QStringLiteral("20400101"));
    const auto jpeg = [](const QPixmap& face) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        face.save(&buffer, "JPEG");
        return bytes;
    };
    const auto allAtOnce = [&](const char* source, void (ReadIDCard::*draw)(QPixmap&, IDINFO*)) {
        if (!testPortrait().save(QStringLiteral("simage_file.bmp")))
            return QByteArray();
        QPixmap face(QString::fromLatin1(source));
        (ReadIDCard().*draw)(face, &info);
        return jpeg(face);
    };
    ReadIDCard reader;
    for (int read = 0; read < 2; ++read) {
        QVERIFY(testPortrait().save(QStringLiteral("simage_file.bmp")));
        reader.IDCardPicFront(&info);
        reader.IDCardPicBack(&info);
        QCOMPARE(readFile(QStringLiteral("frontNew.jpg")), allAtOnce("front.jpg", &ReadIDCard::addMask));
        QCOMPARE(readFile(QStringLiteral("backNew.jpg")), allAtOnce("back.jpg", &ReadIDCard::addMaskBack));
    }
    QVERIFY(plainTemplate().save(QStringLiteral("back.jpg"), "JPEG"));
    reader.IDCardPicBack(&info);
    QCOMPARE(QImage(QStringLiteral("backNew.jpg")).size(), QSize(856, 545));
    QCOMPARE(readFile(QStringLiteral("backNew.jpg")), allAtOnce("back.jpg", &ReadIDCard::addMaskBack));
}

QTEST_MAIN(TestCardFaces)
#include "test_card_faces.moc"
