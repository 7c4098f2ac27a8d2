#pragma once
// Image data of a PostScript page: bytes are packed into run-length packets
// and the packets written as ASCII85 text, so that the page reads them back
// with "currentfile /ASCII85Decode filter /RunLengthDecode filter".
#include <cstddef>
#include <cstdint>
#include <memory>

class PostScriptFile;

class PostScriptEncoder {
public:
    // Takes its output buffer (65536 bytes, less when memory is short).
    explicit PostScriptEncoder(PostScriptFile& out);
    ~PostScriptEncoder();
    PostScriptEncoder(const PostScriptEncoder&) = delete;
    PostScriptEncoder& operator=(const PostScriptEncoder&) = delete;

    // False when no output buffer could be had: nothing may be encoded.
    bool ready() const { return buffer_ != nullptr; }

    void put(unsigned char byte);
    void put(const unsigned char* bytes, size_t count) {
        for (size_t i = 0; i < count; ++i) put(bytes[i]);
    }
    // Writes the open packet, the end-of-data packet, the last ASCII85
    // group and "~>", and flushes everything to the file.
    void finish();

private:
    enum PacketKind { Open, Run, Literal };
    void writePacket();
    void emit(unsigned char byte);  // into the ASCII85 stage
    void writeGroup(int bytes);
    void text(char c) {
        if (used_ == capacity_) flush();
        buffer_[used_++] = c;
    }
    void flush();

    PostScriptFile& out_;
    std::unique_ptr<char[]> buffer_;
    size_t capacity_ = 0;
    size_t used_ = 0;

    unsigned char packet_[128];
    int packetLength_ = 0;
    PacketKind kind_ = Open;

    uint32_t group_ = 0;
    int groupLength_ = 0;
    int lineLength_ = 0;
};
