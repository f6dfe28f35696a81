#include "plugin_slots/page.h"

namespace slots {

void write_page(text::Output& out) {
  for (std::string_view piece : kPagePieces) out.raw(piece);
}

}  // namespace slots
