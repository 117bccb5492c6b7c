#pragma once
// Readable failure messages: GoogleTest finds these through argument-dependent
// lookup. Every core test file includes this header, so all of them print the
// core's value types the same way.

#include <ostream>

#include "core/color.h"
#include "core/move.h"
#include "core/pivot.h"
#include "core/position.h"
#include "core/square.h"

namespace tovak {

inline void PrintTo(Color c, std::ostream* os) { *os << color_name(c); }
inline void PrintTo(Square s, std::ostream* os) { *os << square_text(s).view(); }
inline void PrintTo(Move m, std::ostream* os) { *os << move_text(m).view(); }
inline void PrintTo(Pivot p, std::ostream* os) {
    *os << '(' << int{p.file_twice} << ", " << int{p.rank_twice} << ')';
}
inline void PrintTo(MoveError e, std::ostream* os) { *os << '"' << message(e) << '"'; }
inline void PrintTo(const SupportingPivot& s, std::ostream* os) {
    PrintTo(s.pivot, os);
    *os << " by " << square_text(s.supports[0]).view() << ',' << square_text(s.supports[1]).view();
}

}  // namespace tovak
