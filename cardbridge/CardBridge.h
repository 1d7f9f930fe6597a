/* libCardBridge: one smart card in a PC/SC reader, behind five calls.
 *
 * The upper-case set takes APDUs as hexadecimal text and answers with small
 * result codes; the lower-case set takes binary APDUs and passes PC/SC
 * status codes through unchanged. All state is process-wide: one card
 * connection at a time, used from one thread.
 *
 * Limits the caller must respect:
 *   - a command is at most CARDBRIDGE_MAX_COMMAND_HEX hexadecimal
 *     characters (256 bytes); a longer one is refused with
 *     CARDBRIDGE_E_BAD_COMMAND without touching the reader;
 *   - the response text of SendApduCommand needs room for its current text
 *     plus twice the response length plus one (at most 513 more bytes);
 *   - the ATR buffer of CardPowerOn holds at least CARDBRIDGE_ATR_SIZE bytes;
 *   - the reader list buffer of OpenCardReader holds
 *     CARDBRIDGE_READERS_SIZE bytes.
 */
#ifndef CARDBRIDGE_H
#define CARDBRIDGE_H

#if defined(__GNUC__)
#define CARDBRIDGE_API __attribute__((visibility("default")))
#else
#define CARDBRIDGE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define CARDBRIDGE_MAX_COMMAND_HEX 512
#define CARDBRIDGE_ATR_SIZE 33
#define CARDBRIDGE_READERS_SIZE 256

/* Result codes of the upper-case set (besides 0 and PC/SC statuses). */
#define CARDBRIDGE_E_MODE 1001        /* OpenCardReader: mode is not 1 */
#define CARDBRIDGE_E_PCSC 1002        /* OpenCardReader: a PC/SC call failed */
#define CARDBRIDGE_E_STATUS 1003      /* CardPowerOn: the status call failed */
/* SendApduCommand: command longer than CARDBRIDGE_MAX_COMMAND_HEX
 * characters, a negative length, or a null pointer. Nothing is sent. */
#define CARDBRIDGE_E_BAD_COMMAND 1004

/* Establishes a context, lists the readers into `readers` (overwritten with
 * the multi-string list) and connects to the first one. `mode` must be 1;
 * `reserved` is not used. On failure nothing stays open. */
CARDBRIDGE_API int OpenCardReader(int mode, char* readers, void* reserved);
/* Copies the card's ATR bytes into `atr` (count not returned). */
CARDBRIDGE_API int CardPowerOn(char* atr);
/* Sends the command given as `hexLen` hexadecimal characters (an odd last
 * character is ignored, a non-hexadecimal one counts as 0) and appends the
 * response, status word last, in upper-case hexadecimal to `respText`.
 * `*respLen` receives the response length in bytes. */
CARDBRIDGE_API int SendApduCommand(int hexLen, char* hex, int* respLen, char* respText);
CARDBRIDGE_API int CardPowerOff(void);
CARDBRIDGE_API int CloseCardReader(void);

/* Lower-case set: binary APDUs, PC/SC statuses. */
CARDBRIDGE_API long openCardReader(void);
CARDBRIDGE_API long cardPowerOn(char* atr, int* atrLen);
CARDBRIDGE_API long sendAPDUCommand(unsigned char* cmd, int len, unsigned char* resp, int* respLen);
CARDBRIDGE_API long cardPowerOff(void);
CARDBRIDGE_API long closeCardReader(void);
/* Value 0-15 of a hexadecimal digit; 0 for any other character. */
CARDBRIDGE_API int chartoint(char c);

#ifdef __cplusplus
}
#endif

#endif
