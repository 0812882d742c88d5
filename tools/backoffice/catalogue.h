// The simulated back office's invoices: a deterministic world made from a seed, so that any page of any
// channel can be rendered on request without keeping the invoices in memory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sim {

enum class Channel { B2B, B2C };

struct World {
    std::uint64_t seed = 1;
    std::int64_t b2bFirstId = 1001;
    std::int64_t b2cFirstId = 1001 + 1000000;
    std::int64_t b2bCount = 120;
    std::int64_t b2cCount = 80;
    std::int64_t refuseEvery = 0;   // every K-th invoice of a channel is one the QEM import must refuse
};

std::int64_t firstId(const World& w, Channel c);
std::int64_t invoiceCount(const World& w, Channel c);
const char* channelName(Channel c);

// Days since 1970-01-01 <-> "yyyy-mm-dd".
std::string dateText(std::int64_t days);
bool parseDate(std::string_view text, std::int64_t& days);

// The invoice date of the index-th invoice of a channel; never decreases with the index.
std::int64_t invoiceDay(Channel c, std::int64_t index);
// The first index whose invoice date is on or after the day.
std::int64_t firstIndexOnOrAfter(Channel c, std::int64_t day);

// The JSON object of the index-th invoice of a channel. badId writes its invoiceId as text that is no
// integer.
void appendInvoice(std::string& out, const World& w, Channel c, std::int64_t index, bool badId = false);
// A booking made for the index-th invoice (bookings exist for the B2C channel).
void appendBooking(std::string& out, const World& w, std::int64_t index);

// A JSON string literal.
void appendJsonString(std::string& out, std::string_view text);

}  // namespace sim
