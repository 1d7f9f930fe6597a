#pragma once

// Card records for the parser and face tests, written byte by byte at the
// offsets the cards use (not through the parser's own layout tables), with
// portraits from the project's WLT encoder.

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <vector>

namespace fixtures {

// A 256-byte UTF-16LE text block, padded with spaces as cards are, with
// its card type character at 248 (' ' for a resident identity card).
class TextBlock {
public:
    explicit TextBlock(QChar cardType = QLatin1Char(' '));
    // The text's UTF-16 units at offset, the rest of length bytes spaces.
    TextBlock& put(int offset, int length, const QString& text);
    // Raw units (for damaged text), from offset on.
    TextBlock& putUnits(int offset, const std::vector<ushort>& units);
    const QByteArray& bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

// Sample blocks of the three card types, their fields as the tests expect them.
TextBlock residentBlock();
TextBlock foreignPermanentBlock();
TextBlock residencePermitBlock();

// A WLT portrait made by the encoder (1024 bytes) and what the decoder
// makes of it.
QByteArray encodedPortrait(const char* synthetic = "idphoto");
QByteArray decodedBitmap(const QByteArray& wlt);

// The record as the SAM reader leaves it in its cleared 4096-byte buffer:
// six header bytes (00 90 and the length words), text, portrait, and the
// fingerprint data if any.
QByteArray samRecord(const QByteArray& text, const QByteArray& portrait, const QByteArray& fingerprint = QByteArray());
// The HID reader's: text and portrait in a cleared 1300-byte buffer.
QByteArray hidRecord(const QByteArray& text, const QByteArray& portrait);

// 1024 bytes of fingerprint data starting with 'C' as real templates do.
QByteArray fingerprintData();

// Makes a fresh temporary directory the working directory for its
// lifetime (the parser and the faces work on "./" files).
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    QString path() const { return m_dir.path(); }
    bool ok() const { return m_ok; }

private:
    QTemporaryDir m_dir;
    QString m_previous;
    bool m_ok = false;
};

QByteArray readFile(const QString& path);

} // namespace fixtures
