/* libCardBridge: a thin layer over pcsclite for one card connection. */
#include "CardBridge.h"

#include <stdio.h>
#include <string.h>
#include <winscard.h>

#define APDU_BUFFER_SIZE 256
#define STATUS_NAME_OFFERED 128

/* Process-wide state: one connection at a time. */
static SCARDCONTEXT g_hContext = 0;
static SCARDHANDLE g_hCard = 0;
static char g_szReaders[CARDBRIDGE_READERS_SIZE] = "Generic EMV Smartcard Reader 0";
static DWORD g_nReadersLen = CARDBRIDGE_READERS_SIZE;
static SCARD_IO_REQUEST io = { 0, 0 };

/* Says in plain words why no context could be had: the usual cause is that
 * pcscd is not running, which otherwise only shows as a bare 1002. */
static void reportEstablishFailure(LONG rv)
{
    if (rv == SCARD_E_NO_SERVICE)
        fprintf(stderr, "libCardBridge: the PC/SC service (pcscd) is not running\n");
    else
        fprintf(stderr, "libCardBridge: no PC/SC context: %s (0x%08lX)\n", pcsc_stringify_error(rv),
                (unsigned long)rv);
}

static void releaseContext(void)
{
    if (g_hContext)
        SCardReleaseContext(g_hContext);
    g_hContext = 0;
}

/* Steps shared by both open calls: context, reader list into `readers`,
 * connection to the first reader. Whatever was set up is released again
 * when a later step fails, so a failed open leaves nothing behind. */
static LONG openFirstReader(char* readers)
{
    LONG rv = SCardEstablishContext(SCARD_SCOPE_USER, NULL, NULL, &g_hContext);
    if (rv != SCARD_S_SUCCESS) {
        reportEstablishFailure(rv);
        g_hContext = 0;
        return rv;
    }
    /* The whole buffer every time: the list may have grown since the last
     * open, and the length the last call returned would no longer do. */
    g_nReadersLen = CARDBRIDGE_READERS_SIZE;
    rv = SCardListReaders(g_hContext, NULL, readers, &g_nReadersLen);
    if (rv != SCARD_S_SUCCESS) {
        releaseContext();
        return rv;
    }
    io.cbPciLength = sizeof(SCARD_IO_REQUEST);
    DWORD protocol = 0;
    rv = SCardConnect(g_hContext, readers, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &g_hCard,
                      &protocol);
    if (rv != SCARD_S_SUCCESS) {
        g_hCard = 0;
        releaseContext();
        return rv;
    }
    io.dwProtocol = protocol;
    return SCARD_S_SUCCESS;
}

static LONG readStatus(char* atr, int* atrLen)
{
    DWORD nameLen = STATUS_NAME_OFFERED;
    DWORD state = 0;
    DWORD protocol = 0;
    BYTE localAtr[CARDBRIDGE_ATR_SIZE];
    DWORD localAtrLen = sizeof(localAtr);
    LONG rv = SCardStatus(g_hCard, g_szReaders, &nameLen, &state, &protocol, localAtr, &localAtrLen);
    if (rv != SCARD_S_SUCCESS)
        return rv;
    if (localAtrLen > sizeof(localAtr))
        localAtrLen = sizeof(localAtr);
    memcpy(atr, localAtr, localAtrLen);
    if (atrLen)
        *atrLen = (int)localAtrLen;
    return SCARD_S_SUCCESS;
}

static LONG transmit(const unsigned char* cmd, DWORD len, unsigned char* resp, DWORD* respLen)
{
    *respLen = APDU_BUFFER_SIZE;
    return SCardTransmit(g_hCard, &io, cmd, len, NULL, resp, respLen);
}

static void disconnectAndRelease(void)
{
    SCardDisconnect(g_hCard, SCARD_EJECT_CARD);
    g_hCard = 0;
    releaseContext();
}

int chartoint(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return 0;
}

int OpenCardReader(int mode, char* readers, void* reserved)
{
    (void)reserved;
    if (mode != 1)
        return CARDBRIDGE_E_MODE;
    if (!readers)
        return CARDBRIDGE_E_PCSC;
    return openFirstReader(readers) == SCARD_S_SUCCESS ? 0 : CARDBRIDGE_E_PCSC;
}

int CardPowerOn(char* atr)
{
    if (!atr)
        return CARDBRIDGE_E_STATUS;
    return readStatus(atr, NULL) == SCARD_S_SUCCESS ? 0 : CARDBRIDGE_E_STATUS;
}

int SendApduCommand(int hexLen, char* hex, int* respLen, char* respText)
{
    if (hexLen < 0 || hexLen > CARDBRIDGE_MAX_COMMAND_HEX || !hex || !respLen || !respText)
        return CARDBRIDGE_E_BAD_COMMAND;

    unsigned char cmd[APDU_BUFFER_SIZE];
    const int n = hexLen / 2;
    for (int i = 0; i < n; ++i)
        cmd[i] = (unsigned char)(16 * chartoint(hex[2 * i]) + chartoint(hex[2 * i + 1]));

    unsigned char resp[APDU_BUFFER_SIZE];
    DWORD received = 0;
    LONG rv = transmit(cmd, (DWORD)n, resp, &received);
    if (rv != SCARD_S_SUCCESS)
        return (int)rv;

    *respLen = (int)received;
    printf("t_nLen = %d\n", (int)received);
    for (int i = 0; i < 10; ++i)
        printf("%d ", i);
    printf("\n");
    char* out = respText + strlen(respText);
    for (DWORD i = 0; i < received; ++i) {
        out += sprintf(out, "%02X", resp[i]);
        printf("t_chTempOut[%d] = %02X \n", (int)i, resp[i]);
    }
    fflush(stdout);
    return 0;
}

int CardPowerOff(void)
{
    SCardDisconnect(g_hCard, SCARD_EJECT_CARD);
    g_hCard = 0;
    return 0;
}

int CloseCardReader(void)
{
    disconnectAndRelease();
    return 0;
}

long openCardReader(void)
{
    printf("openCardReader open \n");
    fflush(stdout);
    return openFirstReader(g_szReaders);
}

long cardPowerOn(char* atr, int* atrLen)
{
    if (!atr || !atrLen)
        return SCARD_E_INVALID_PARAMETER;
    return readStatus(atr, atrLen);
}

long sendAPDUCommand(unsigned char* cmd, int len, unsigned char* resp, int* respLen)
{
    if (!cmd || !resp || !respLen || len < 0 || len > APDU_BUFFER_SIZE)
        return SCARD_E_INVALID_PARAMETER;
    DWORD received = 0;
    LONG rv = transmit(cmd, (DWORD)len, resp, &received);
    if (rv == SCARD_S_SUCCESS)
        *respLen = (int)received;
    return rv;
}

long cardPowerOff(void)
{
    return 0;
}

long closeCardReader(void)
{
    disconnectAndRelease();
    return 0;
}
