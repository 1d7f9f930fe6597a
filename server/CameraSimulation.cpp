// "SimCamera" (only with --simulate): plugs the simulated cameras in and
// out and gives them a picture to show.
#include "TextMessageProcessor.h"

#include "SimulatedCameras.h"

#include <QBuffer>
#include <QImageReader>
#include <QJsonDocument>
#include <QJsonObject>

#include <optional>

namespace {

// "1" present, "0" absent (text or number).
bool readPresence(const QJsonObject& request, const char* key, std::optional<bool>& present, QString& error)
{
    const QString name = QString::fromLatin1(key);
    if (!request.contains(name))
        return true;
    const QJsonValue value = request.value(name);
    const QString text = value.isDouble() ? QString::number(value.toDouble()) : value.toString();
    if ((value.isString() || value.isDouble()) && (text == QLatin1String("1") || text == QLatin1String("0"))) {
        present = text == QLatin1String("1");
        return true;
    }
    error = QStringLiteral("%1 must be \"1\" (present) or \"0\" (absent)").arg(name);
    return false;
}

// A PNG or JPEG picture in Base64; "" means the cameras' own pictures.
bool readImage(const QJsonObject& request, std::optional<QImage>& image, QString& error)
{
    if (!request.contains(QStringLiteral("image")))
        return true;
    const QJsonValue value = request.value(QStringLiteral("image"));
    if (value.isString() && value.toString().isEmpty()) {
        image = QImage();
        return true;
    }
    error = QStringLiteral("image must be Base64 of a PNG or JPEG picture, or empty");
    if (!value.isString())
        return false;
    const auto decoded = QByteArray::fromBase64Encoding(value.toString().toLatin1(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return false;
    QByteArray bytes = *decoded;
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer);
    const QByteArray format = reader.format();
    if (format != "png" && format != "jpeg")
        return false;
    QImage picture = reader.read();
    if (picture.isNull())
        return false;
    image = picture;
    return true;
}

} // namespace

void CTextMessageProcessor::SimCamera(QString functionName, QWebSocket* client, QString message)
{
    const QJsonObject request = QJsonDocument::fromJson(message.toUtf8()).object();
    std::optional<bool> document;
    std::optional<bool> portrait;
    std::optional<QImage> image;
    QString error;
    // All or nothing: a request with one bad key changes nothing.
    if (!readPresence(request, "document", document, error) || !readPresence(request, "portrait", portrait, error) ||
        !readImage(request, image, error)) {
        sendReply(client, CreateJson(functionName, 0, error, QString(), QString()));
        return;
    }
    simdevices::SimulatedCameras& cameras = simdevices::simulatedCameras();
    if (document)
        cameras.document.present = *document;
    if (portrait)
        cameras.portrait.present = *portrait;
    if (image)
        cameras.setImage(*image);
    sendReply(client, CreateJson(functionName, 1, QString(), QString(), QString()));
}
