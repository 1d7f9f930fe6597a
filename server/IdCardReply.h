#pragma once

#include <QByteArray>
#include <QString>

// The portrait of the card being read travels from the parser to the card
// reply through "./simage_file.bmp" in the working directory.
namespace idcardreply {

// The portrait file as a BMP image; empty when there is no file or it is
// not an image (a portrait that did not decode).
QByteArray portraitBitmap();
// The same as Base64 text, the reply's "photo".
QString portraitText();

// Removes the portrait file, so that no later request (nor anyone looking
// at the working directory) finds this holder's portrait.
void removePortrait();

} // namespace idcardreply
