#pragma once
// The framed, optionally compressed byte stream between the viewer and the
// remote engine; the same framing carries graphic data files and scene
// files.  Items: commands ("vkoCommandKey" + int length + name), tokens
// ("vkoTokenKey" + int length + name) and data blocks (int remaining,
// int size, payload).  Ints travel most significant byte first.
#include <cstddef>
#include <cstdint>
#include <string>

class LinkStream {
public:
    // Command and token tables, byte-wise sorted (binary search).
    static constexpr int kNumCommands = 15;
    static constexpr int kNumTokens = 85;
    static const char* const kCommandNames[kNumCommands];
    static const char* const kTokenNames[kNumTokens];
    // Index of a name in the sorted table, or the table size when missing.
    static int LookupCommand(const char* name);
    static int LookupToken(const char* name);

    LinkStream();
    ~LinkStream();
    LinkStream(const LinkStream&) = delete;
    LinkStream& operator=(const LinkStream&) = delete;

    // Fields other layers set directly (the embedded host, files, sockets).
    int readHandle = -1;
    bool readIsSocket = false;
    int writeHandle = -1;
    bool writeIsSocket = false;
    bool inLoadGraphic = false;
    bool inSetParameters = false;
    char* peerHostName = nullptr;  // owned
    int compressBufferSize = 0;    // chunk size K; 0 = never compress

    // ---- reading side: negative / false on failure (message on stderr)
    int ReadCommand();
    int ReadToken();
    int ReadDataBlockHeader(int expectedSize);
    int ReadDataBlock(void* buffer, int size);
    int ReadIntDataBlock(void* buffer, int count);  // ints or floats
    // Reads a length block then the text block; the text (with its zero
    // byte) is returned in out.  False and out cleared on any failure.
    bool ReadString(std::string& out);
    // Convenience for single values (one int block of count 1).
    bool ReadInt(int& value);
    bool ReadFloat(float& value);

    // ---- writing side: true on success
    bool WriteCommand(int index);
    bool WriteToken(int index);
    bool WriteDataBlockHeader(int remaining, int size);
    bool WriteDataBlock(const void* bytes, int size, int remaining);
    bool WriteIntDataBlock(const void* values, int count, int remaining);
    bool WriteString(const char* text, int n = 2);
    bool BeginParameters();
    bool EndParameters();
    bool BeginLoadGraphic();
    bool EndLoadGraphic();

    // ---- sender helpers (engine side, scene files)
    bool WriteIntToken(int token, int value, bool wrapped);
    bool WriteFloatToken(int token, float value, bool wrapped);
    bool WriteStringToken(int token, const char* text, bool wrapped);
    bool WriteCameraToken(const char* const texts[7], bool wrapped);
    bool SendCalcDone(float value);
    bool SendCommand(int command);  // commands without data
    bool SendIntCommand(int command, int value);
    bool SendStringCommand(int command, const char* text);
    // GET_CAMERA: sends the name, then reads the five reply blocks into
    // scale, defscale, pivot[3], pan[3], quaternion[4] from the read side.
    bool SendGetCamera(const char* name, float& scale, float& defScale, float pivot[3], float pan[3],
                       float quaternion[4]);

    // Raw transfers of the framing (one "transfer" each; compressed when
    // compressBufferSize > 0 and n > compressBufferSize).
    bool ReadTransfer(void* buffer, size_t n);
    bool WriteTransfer(const void* buffer, size_t n);
    // Uncompressed transfer regardless of K (e.g. the handshake port).
    static bool RawRead(int handle, void* buffer, size_t n);
    static bool RawWrite(int handle, const void* buffer, size_t n);
};
