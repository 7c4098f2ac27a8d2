#pragma once
// Reads the arrays of geometry items from a LinkStream without trusting the
// counts that precede them: the destination takes room for a bounded part of
// the announced size and grows with the bytes that really arrive, so a
// forged count costs no more memory than the data the peer actually sends.
// The wire layout is that of an int block: a header (remaining, size) and
// 4 bytes per value, most significant first; compressed exactly as
// LinkStream::ReadTransfer would.
#include <cstdint>
#include <vector>

class LinkStream;

class LinkArrayReader {
public:
    // Largest payload of one block: its size is an int on the wire.
    static constexpr int64_t kMaxBlockBytes = 0x7FFFFFFF;

    // count ints (or floats: same bits) of one block; false on a read
    // failure, a count below 1 or a block larger than the wire can express.
    static bool ReadInts(LinkStream& stream, int64_t count, std::vector<int32_t>& out);
    static bool ReadFloats(LinkStream& stream, int64_t count, std::vector<float>& out);
    // count bytes of one data block.
    static bool ReadBytes(LinkStream& stream, int64_t count, std::vector<unsigned char>& out);

private:
    static bool ReadPayload(LinkStream& stream, int64_t bytes, std::vector<unsigned char>& out, bool intBlock);
};
