#include "quicktime/param_block.h"

#include <string.h>

ComponentParameters MakeComponentParameters(int16_t what, uint32_t param) {
  uint16_t request = static_cast<uint16_t>(what);
  const uint8_t bytes[8] = {
      0, 4,
      static_cast<uint8_t>(request), static_cast<uint8_t>(request >> 8),
      static_cast<uint8_t>(param), static_cast<uint8_t>(param >> 8),
      static_cast<uint8_t>(param >> 16), static_cast<uint8_t>(param >> 24)};
  ComponentParameters block;
  memcpy(&block, bytes, sizeof block);
  return block;
}
