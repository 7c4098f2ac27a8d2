#pragma once
// One picked item as handed to the host: four 32-bit fields in this order.

struct PickRecord {
    float depth = 1.0f;  // 0..1 from the selection buffer, 1.0 for colour picks
    int objectId = -1;   // objectid of the graphic object
    int count = 0;       // 1 for selection hits, -1 for colour picks
    int element = -1;    // face or vertex number, -1 for the whole object
};

static_assert(sizeof(PickRecord) == 16, "PickRecord is four 32-bit fields");
