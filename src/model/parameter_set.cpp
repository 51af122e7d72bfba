// The data-rate list of the parameter set: the rate of a modulation and
// coding rate, and the list item of each.
#include <string>

#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"
#include "dot11a/parameters.hpp"

namespace dot11a {

namespace {

// The rate-table entry of a modulation code and coding rate; nullptr for a
// custom combination.
const RateEntry* entryOf(double modulation, double encoderRate) {
  if (!isModulationCode(modulation)) return nullptr;
  return rateOf(static_cast<Modulation>(checkedInteger<int>(modulation, "The modulation code")),
                encoderRate);
}

}  // namespace

double dataRateFor(double modulation, double encoderRate) {
  const RateEntry* e = entryOf(modulation, encoderRate);
  return e ? e->mbps : 0;
}

int dataRateItem(double modulation, double encoderRate) {
  const RateEntry* e = entryOf(modulation, encoderRate);
  return e ? static_cast<int>(e - kRateTable.data()) + 1 : 9;
}

RatePair ratePairOfItem(int item) {
  if (item < 1 || item > static_cast<int>(kRateTable.size()))
    raise("Data rate item " + std::to_string(item) + " has no standard rate.");
  const RateEntry& e = kRateTable[static_cast<std::size_t>(item - 1)];
  // The coding rate as the settings store it (2/3 as the nearest double).
  return {static_cast<double>(e.mbps), static_cast<double>(e.modulation), e.coding.value()};
}

}  // namespace dot11a
