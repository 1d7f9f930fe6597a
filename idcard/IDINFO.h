#pragma once

// One identity card's holder fields as the parser leaves them: fixed-size,
// NUL-terminated UTF-8 texts plus the raw fingerprint bytes. The record is
// cleared in full before every parse, so a field a card type does not carry
// reads as an empty text. The portrait is not kept here: it goes to
// "./simage_file.bmp".
struct IDINFO {
    char name[40];
    char englishName[40];
    char gender[10];
    char nation[20];
    char address[200];
    char birthday[50];
    char effectDate[50];
    char expireDate[50];
    char idNum[40];
    char issueOrg[50];
    char nationCode[200];
    char passNum[24];
    char signCount[8];
    char CertVersion[8];
    char CardType[136];
    unsigned char figData[1024];
};
