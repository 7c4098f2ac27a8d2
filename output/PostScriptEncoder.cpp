#include "output/PostScriptEncoder.h"

#include <new>

#include "output/PostScriptFile.h"

namespace {
constexpr size_t kBufferSize = 65536;
constexpr size_t kSmallestBuffer = 10;
constexpr int kLineLength = 80;
constexpr unsigned char kEndOfData = 128;
}  // namespace

PostScriptEncoder::PostScriptEncoder(PostScriptFile& out) : out_(out) {
    for (size_t size = kBufferSize; size > kSmallestBuffer; size /= 2) {
        buffer_.reset(new (std::nothrow) char[size]);
        if (buffer_) {
            capacity_ = size;
            break;
        }
    }
}

PostScriptEncoder::~PostScriptEncoder() = default;

void PostScriptEncoder::put(unsigned char byte) {
    if (packetLength_ >= 2) {
        if (kind_ == Open) kind_ = (packet_[0] == packet_[1] && packet_[1] == byte) ? Run : Literal;
        const unsigned char a = packet_[packetLength_ - 2], b = packet_[packetLength_ - 1];
        // A run ends at a different byte.  A literal packet ends when a
        // third equal byte arrives, so that a run can start there; the two
        // equal bytes before it stay literal.
        const bool ends = kind_ == Run ? (byte != a || byte != b) : (byte == a && byte == b);
        if (ends) writePacket();
    }
    packet_[packetLength_++] = byte;
    if (packetLength_ == 128) writePacket();
}

void PostScriptEncoder::writePacket() {
    if (packetLength_ == 0) return;
    if (kind_ == Run) {
        emit(static_cast<unsigned char>(257 - packetLength_));
        emit(packet_[0]);
    } else {
        emit(static_cast<unsigned char>(packetLength_ - 1));
        for (int i = 0; i < packetLength_; ++i) emit(packet_[i]);
    }
    packetLength_ = 0;
    kind_ = Open;
}

void PostScriptEncoder::emit(unsigned char byte) {
    group_ = (group_ << 8) | byte;
    if (++groupLength_ == 4) writeGroup(4);
}

void PostScriptEncoder::writeGroup(int bytes) {
    if (bytes == 4 && group_ == 0) {
        text('z');
        ++lineLength_;
    } else {
        // A short final group is padded with zero bytes and written with
        // one character more than it has bytes.
        uint32_t value = group_ << (8 * (4 - bytes));
        char digits[5];
        for (int i = 4; i >= 0; --i) {
            digits[i] = char(value % 85 + 33);
            value /= 85;
        }
        for (int i = 0; i <= bytes; ++i) text(digits[i]);
        lineLength_ += bytes + 1;
    }
    group_ = 0;
    groupLength_ = 0;
    if (lineLength_ >= kLineLength) {
        text('\n');
        lineLength_ = 0;
    }
}

void PostScriptEncoder::finish() {
    if (!ready()) return;
    writePacket();
    emit(kEndOfData);
    if (groupLength_ > 0) writeGroup(groupLength_);
    if (lineLength_ > 0) text('\n');
    lineLength_ = 0;
    text('~');
    text('>');
    flush();
}

void PostScriptEncoder::flush() {
    out_.write(buffer_.get(), used_);
    used_ = 0;
}
