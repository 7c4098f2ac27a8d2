#pragma once
// The framed, optionally compressed byte stream between the viewer and the
// remote engine; the same framing carries graphic data files and scene
// files.  Items: commands ("vkoCommandKey" + int length +
// name), tokens ("vkoTokenKey" + int length + name) and data blocks (int
// remaining, int size, payload).  Ints travel most significant byte first;
// floats travel as their 32-bit pattern.  Every key, header int, name,
// payload and int array is one "transfer"; a transfer longer than
// compressBufferSize K (K > 0) is one zlib stream cut into K-byte chunks.
#include <cstddef>
#include <cstdint>
#include <string>

struct LinkStreamCodec;  // zlib streams and scratch buffers (LinkStream.cpp)

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

    // Indices into kCommandNames, e.g. LinkStream::Cmd::GET_CAMERA.
    struct Cmd {
        enum : int {
            CALC_DONE, CENTER_VIEW, DELETE_GRAPHIC, DONT_UPDATE, DUMP_STATE, GET_CAMERA,
            GET_PROJECTED_AREA, LOAD_GRAPHIC, NEW_GRAPHIC, READ_VIEWS, RESPOND_AFTER_UPDATE,
            SELECT_GRAPHIC, SET_PARAMETRS, SHUTDOWN, UPDATE_DONE,
            NOT_FOUND  // == kNumCommands, what ReadCommand returns for an unknown name
        };
    };
    // Indices into kTokenNames, e.g. LinkStream::Tok::DONE.
    struct Tok {
        enum : int {
            ADD_OBJECT, AUTOPRINT, BACKGROUND_COLOR, CAMERA, COLOR_MAP, CREASE_ANGLE, CULLING_MODE,
            DONE, DOUBLE_BUFFERING, DRAW_FACES, DRAW_LINES, DRAW_MODE, DRAW_OVERLAY, DRAW_SMOOTH,
            EXTRUDE, FACES, FACE_COLOR, FACE_COLORS, FACE_TRANSPARENCY, GUI_CAMERA, IMAGE, LABEL,
            LIGHTING, LIGHTING_SPECULAR, LIMIT_ZOOM, LINES, LINE_COLOR, LINE_COLORS, LINE_SMOOTH,
            LINE_TRANSPARENCY, LINE_WIDTH, OBJECT, OBJECT_ANGLE, OBJECT_AXIS, OBJECT_CLIP_PLANE,
            OBJECT_INSTANCES, OBJECT_INSTANCE_ANGLE, OBJECT_INSTANCE_AXIS, OBJECT_INSTANCE_TRANSLATION,
            OBJECT_MIRROR_PLANE, OBJECT_POLYGON_MODE, OBJECT_POLYGON_OFFSET, OBJECT_POLYSTRIP,
            OBJECT_SCALE, OBJECT_TRANSLATION, OBJECT_VISIBILITY, OUTFILE, OVERLAY, POINT_SIZE, PRINTER,
            PRINT_ANTIALIAS, PRINT_PS_PAPER_SIZE, PRINT_RASTER_SIZE, PRINT_SCREEN, PRINT_TOLERANCE,
            QUALITY_FACTOR, REMOVE_OBJECT, SCALE_FACTOR, SPARSE_MODE, TEXTS, TEXTURE, TRANSPARENCY,
            VERTEX_COLOR, VERTEX_COLORS, VERTEX_TRANSPARENCY, VERTICES, VIEWER_LAYOUT,
            VIEWER_LOD_ERROR, VIEWER_LOGO, VIEWER_PORT, VIEWER_PORT_ORDER, VIEWER_XSPLIT,
            VIEWER_YSPLIT, VIEWPORT_AUTOFIT, VIEWPORT_AXIS, VIEWPORT_AXIS_TYPE, VIEWPORT_BORDER,
            VIEWPORT_CLIP_PLANE, VIEWPORT_LIGHT, VIEWPORT_MAXIMIZE, VIEWPORT_ORTHO, VIEWPORT_ROTATION,
            VIEWPORT_RULER, VIEWPORT_RULER_UNITS, XREVERSEVIDEO,
            NOT_FOUND  // == kNumTokens
        };
    };

    // Handles -1, flags off, no peer name, compressBufferSize from the
    // environment variable COMPRESSBUFFERSIZE ("atoi"; negative or unset: 0).
    LinkStream();
    // Frees peerHostName (only).
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
    // Owned, allocated with malloc/strdup (freed with free); SetPeerHostName
    // replaces it with a copy (nullptr clears it).
    char* peerHostName = nullptr;
    int compressBufferSize = 0;  // chunk size K; 0 (or below) = never compress
    void SetPeerHostName(const char* name);

    // ---- reading side: negative / false on failure (message on stderr)
    // Command index 0..14, 15 (Cmd::NOT_FOUND) for an unknown name, -1 on failure.
    int ReadCommand();
    // Token index 0..84, 85 (Tok::NOT_FOUND) for an unknown name, -1 on failure.
    int ReadToken();
    // Reads the header; fails when its size is not expectedSize.  Returns the
    // remaining-blocks value as sent (a negative value from the wire is
    // passed through, and callers treat it as failure).
    int ReadDataBlockHeader(int expectedSize);
    // Header plus size bytes into buffer (which must hold size bytes).
    int ReadDataBlock(void* buffer, int size);
    // Header plus count ints (or floats) into buffer, converted to host order.
    int ReadIntDataBlock(void* buffer, int count);
    // Reads a length block (one int n >= 1) then a data block of n bytes.
    // out holds the text as a C string sees it: the bytes before the first
    // zero byte (out.c_str() supplies the terminator).  The text is read in
    // bounded pieces, so a hostile length costs no more memory than the bytes
    // that actually arrive.  False and out cleared on any failure.
    bool ReadString(std::string& out);
    // Convenience for single values (one int block of count 1).
    bool ReadInt(int& value);
    bool ReadFloat(float& value);

    // ---- writing side: true on success
    // Out-of-range indices give false without a message.
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
    // Token CAMERA and seven strings: name, scale, defscale, pivot point,
    // pan, rotation quaternion, rotation xyz.
    bool WriteCameraToken(const char* const texts[7], bool wrapped);
    bool SendCalcDone(float value);
    bool SendCommand(int command);  // commands without data
    bool SendIntCommand(int command, int value);
    bool SendStringCommand(int command, const char* text);
    // GET_CAMERA: sends the name, then reads the five reply blocks (scale, defscale, pivot, pan, quaternion)
    // from the read side: scale, defscale, pivot x y z, pan x y, quaternion.
    bool SendGetCamera(const char* name, float& scale, float& defScale, float pivot[3], float pan[2],
                       float quaternion[4]);

    // One transfer of n bytes on the read or write handle (compressed when
    // compressBufferSize > 0 and n > compressBufferSize).
    bool ReadTransfer(void* buffer, size_t n);
    bool WriteTransfer(const void* buffer, size_t n);
    // Uncompressed transfer regardless of K (e.g. the handshake port): the
    // SO_TYPE query picks socket or file calls; a negative result fails, a
    // zero result is retried and the 1001st zero result in a row fails.
    static bool RawRead(int handle, void* buffer, size_t n);
    static bool RawWrite(int handle, const void* buffer, size_t n);
    // Longest run of consecutive zero-length results seen by the calling
    // thread's last RawRead/RawWrite (1001 when it failed by that rule).
    static int LastZeroResultRun();

private:
    LinkStreamCodec* codec_ = nullptr;  // created on the first compressed or int-block transfer
    LinkStreamCodec* Codec();
    int ReadName(const char* key, size_t keyLength, const char* const* table, int tableSize, bool isToken);
    bool WriteName(const char* key, size_t keyLength, const char* name, bool isToken);
    bool ScanForKey(const char* key, size_t keyLength);
    bool WriteInt(int value);
    bool ReadNetInt(int& value);
    bool ReadWords(void* buffer, size_t count);
};
