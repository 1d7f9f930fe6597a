// The card's two faces drawn onto their templates.
#include "FaceText.h"
#include "InstalledData.h"
#include "PortraitFile.h"
#include "ReadIDCard.h"

#include <QColor>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QImage>
#include <QPainter>

#include <map>

using namespace idcard;

namespace {

// Positions are laid out on the card's nominal face, in millimetres, and
// scaled to the template picture; text positions are baselines.
constexpr double cardWidthMm = 85.6;
constexpr double cardHeightMm = 54.47;

QPoint facePoint(const QSize& face, double xMm, double yMm, int yOffset)
{
    return QPoint(int(face.width() * xMm / cardWidthMm), int(face.height() * yMm / cardHeightMm) + yOffset);
}

struct Style {
    const char* family;
    int pointSize;
    int letterSpacing; // absolute, pixels
    QColor colour;
    int weight = 0;
};

struct Place {
    double xMm, yMm;
    int yOffset;
};

const QColor labelBlue(57, 182, 232);
const QColor ink(0, 0, 0);

void drawText(QPainter& painter, const QString& text, const Style& style, const Place& at)
{
    const QSize face(painter.device()->width(), painter.device()->height());
    QFont font(QString::fromUtf8(style.family), style.pointSize, style.weight, false);
    font.setLetterSpacing(QFont::AbsoluteSpacing, style.letterSpacing);
    painter.setFont(font);
    painter.setPen(style.colour);
    painter.drawText(facePoint(face, at.xMm, at.yMm, at.yOffset), text);
}

// The portrait's white background (all three channels above 240) becomes
// transparent, so the template shows through; near-white stays.
QImage preparedPortrait()
{
    const QImage decoded(QString::fromLatin1(kPortraitFile));
    if (decoded.isNull())
        return QImage();
    QImage portrait = decoded.convertToFormat(QImage::Format_RGBA8888_Premultiplied, Qt::NoFormatConversion);
    for (int y = 0; y < portrait.height(); ++y) {
        uchar* p = portrait.scanLine(y);
        for (int x = 0; x < portrait.width(); ++x, p += 4)
            if (p[0] > 240 && p[1] > 240 && p[2] > 240)
                p[0] = p[1] = p[2] = p[3] = 0; // premultiplied: transparent is all zero
    }
    const QImage scaled = portrait.scaled(307, 378, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    scaled.save(QString::fromLatin1(kPortraitFile));
    return scaled;
}

void drawFrontLabels(QPainter& painter)
{
    const Style label{"SimHei", 25, 10, labelBlue};
    const struct {
        const char* text;
        Place at;
    } labels[] = {
        {"姓", {6.8, 7.00, 48}},  {"名", {11.2, 7.00, 48}},  {"性", {6.8, 14.00, 48}},  {"别", {11.2, 14.00, 48}},
        {"民", {25.6, 14.00, 48}}, {"族", {30.6, 14.00, 48}}, {"出", {6.8, 20.80, 45}},  {"生", {11.2, 20.80, 45}},
        {"年", {25.6, 20.80, 45}}, {"月", {33.7, 20.80, 45}}, {"日", {42.0, 20.80, 45}}, {"住", {6.8, 28.30, 39}},
        {"址", {11.2, 28.30, 39}},
    };
    for (const auto& l : labels)
        drawText(painter, QString::fromUtf8(l.text), label, l.at);
    drawText(painter, QStringLiteral("公民身份号码"), {"SimHei", 27, 0, labelBlue}, {6.8, 43.50, 60});
}

// The fields are UTF-8 and are drawn as such; nothing here touches the
// process's codec for local 8-bit text.
void drawFrontFields(QPainter& painter, IDINFO* info)
{
    const Style value{"SimHei", 27, 0, ink};
    drawText(painter, QString::fromUtf8(info->name), {"SimHei", 31, 0, ink}, {17.2, 7.00, 48});
    drawText(painter, QString::fromUtf8(info->gender), value, {17.2, 14.00, 48});
    drawText(painter, QString::fromUtf8(info->nation), value, {34.0, 14.00, 48});

    const BirthDateParts birth = splitBirthDate(QString::fromUtf8(info->birthday));
    const Style digits{"Tahoma", 27, 0, ink};
    drawText(painter, birth.year, digits, {17.2, 20.80, 48});
    drawText(painter, birth.month, digits, {31.2, 20.80, 48});
    drawText(painter, birth.day, digits, {37.6, 20.80, 48});

    const QStringList lines = addressLines(QString::fromUtf8(info->address));
    const int lineOffsets[] = {39, 99, 159};
    for (int i = 0; i < lines.size(); ++i)
        if (i == 0 || !lines.at(i).isEmpty())
            drawText(painter, lines.at(i), value, {17.2, 28.30, lineOffsets[i]});

    drawText(painter, QString::fromUtf8(info->idNum), {"SimHei", 37, 4, ink}, {30.5, 43.50, 60});

    const QImage portrait = preparedPortrait();
    if (!portrait.isNull()) {
        const QSize face(painter.device()->width(), painter.device()->height());
        painter.drawImage(facePoint(face, 53.8, 8.00, 0), portrait);
    }
}

void drawBackLabels(QPainter& painter)
{
    drawText(painter, QStringLiteral("中华人民共和国"), {"宋体", 55, 4, ink}, {28.6, 5.60, 64});
    drawText(painter, QStringLiteral("居民身份证"), {"宋体", 68, 32, ink}, {26.4, 15.20, 78});
    drawText(painter, QStringLiteral("签发机关"), {"SimHei", 24, 0, ink}, {19.8, 38.50, 40});
    drawText(painter, QStringLiteral("有效期限"), {"SimHei", 24, 0, ink}, {19.8, 45.50, 40});
}

void drawBackFields(QPainter& painter, IDINFO* info)
{
    drawText(painter, QString::fromUtf8(info->issueOrg), {"SimHei", 26, 2, ink, 50}, {35.0, 38.50, 40});
    drawText(painter,
             QString::fromUtf8(info->effectDate) + QLatin1Char('-') + QString::fromUtf8(info->expireDate),
             {"SimHei", 26, 1, ink, 5}, {35.0, 45.50, 40});
}

using DrawLabels = void (*)(QPainter&);
using DrawFields = void (*)(QPainter&, IDINFO*);

// Every card's face carries the same labels, and the back's titles are
// large enough that they are filled as outlines rather than from the glyph
// cache. They are drawn once on each template and kept with it for as long
// as the template file stays the same (path, size and modification time,
// as QPixmap's own cache keys the loaded picture), so a read draws only
// its own fields, onto a copy. The pixels are those of drawing everything
// on the template in one go. A template that does not load gives a null
// pixmap.
QPixmap labelledTemplate(const QString& source, DrawLabels drawLabels)
{
    struct Labelled {
        QString key;
        QPixmap face;
    };
    static std::map<DrawLabels, Labelled> cache;
    const QFileInfo file(source);
    const QString key = QStringLiteral("%1\n%2\n%3")
                            .arg(file.absoluteFilePath())
                            .arg(file.size())
                            .arg(file.lastModified().toMSecsSinceEpoch());
    Labelled& entry = cache[drawLabels];
    if (entry.key != key || entry.face.isNull()) {
        QPixmap face;
        face.load(source);
        if (!face.isNull()) {
            QPainter painter(&face);
            drawLabels(painter);
        }
        entry = {face.isNull() ? QString() : key, face};
    }
    return entry.face;
}

// Draws the fields on the labelled template and writes the face as JPEG to
// target. A template that did not load still leaves target, empty, behind.
void renderFace(const QString& source, const QString& target, IDINFO* info, DrawLabels labels, DrawFields fields)
{
    QPixmap face = labelledTemplate(source, labels);
    if (!face.isNull()) {
        QPainter painter(&face);
        fields(painter, info);
    }
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    if (!face.isNull())
        face.save(&out, "JPEG");
}

} // namespace

void ReadIDCard::IDCardPicFront(IDINFO* info)
{
    QString source = faceTemplatePath(QStringLiteral("front.jpg"));
    QString target = QStringLiteral("./frontNew.jpg");
    addMaskByPath(source, target, info);
}

void ReadIDCard::IDCardPicBack(IDINFO* info)
{
    QString source = faceTemplatePath(QStringLiteral("back.jpg"));
    QString target = QStringLiteral("./backNew.jpg");
    addMaskByPathBack(source, target, info);
}

void ReadIDCard::addMaskByPath(QString& source, QString& target, IDINFO* info)
{
    renderFace(source, target, info, drawFrontLabels, drawFrontFields);
}

void ReadIDCard::addMaskByPathBack(QString& source, QString& target, IDINFO* info)
{
    renderFace(source, target, info, drawBackLabels, drawBackFields);
}

void ReadIDCard::addMask(QPixmap& face, IDINFO* info)
{
    if (face.isNull())
        return;
    QPainter painter(&face);
    drawFrontLabels(painter);
    drawFrontFields(painter, info);
}

void ReadIDCard::addMaskBack(QPixmap& face, IDINFO* info)
{
    if (face.isNull())
        return;
    QPainter painter(&face);
    drawBackLabels(painter);
    drawBackFields(painter, info);
}
