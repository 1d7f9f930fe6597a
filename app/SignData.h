#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

// Everything the signing window needs before it opens, plus the last accepted
// signature. Pages change it through the signing and settings commands; it is
// never saved, so every start begins from these defaults.
struct struct_GLOBALSSIGNDATA {
    int32_t winX = 440;          // window corner, relative to the sign screen
    int32_t winY = 250;
    int32_t winWidth = 400;
    int32_t winHeight = 300;
    int32_t screenX = 1921;      // sign screen origin on the desktop
    int32_t screenY = 0;
    int32_t screenWidth = 1280;  // pixels onto which the pad's range is mapped
    int32_t screenHeight = 800;
    int64_t penColor = 0x000000;   // 0xRRGGBB
    int64_t backColor = 0xFFFFFF;  // 0xRRGGBB
    int32_t penWidth = 5;
    int32_t signMode = 0;          // stored only
    int32_t transparency = 65;     // opacity in percent
    bool cancelLocked = false;
    bool resignLocked = false;
    QString titleText = QStringLiteral("手写签字");
    QString cancelText = QStringLiteral("取消");
    QString resignText = QStringLiteral("重签");
    QString okText = QStringLiteral("确定");
    QByteArray signBase64;         // Base64 of the last accepted signature PNG
};

extern struct_GLOBALSSIGNDATA g_SignData;
