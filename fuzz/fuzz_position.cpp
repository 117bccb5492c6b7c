// Random edit-and-move sequences on positions. The input picks a start
// (initial, empty, or an arbitrary placement) and then a list of steps:
// set_piece, clear_square, a legal move, an arbitrary (usually illegal) move,
// a change of side, an edit of a copy, a capture, a set reflection. After
// every step the core's invariants hold (sets disjoint, hash equal to the
// from-scratch hash) and the bitboard generator agrees with the literal rules;
// the last position gets the full set of checks (position_checks.h).

#include <cstdint>
#include <vector>

#include "core/position.h"
#include "fuzz_check.h"
#include "fuzz_input.h"
#include "position_checks.h"

using namespace tovak;
using namespace tovak::fuzz;

namespace {

constexpr int MAX_STEPS = 48;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ByteReader in(data, size);
    Position p = start_position(in);
    check_position(p);
    for (int step = 0; step < MAX_STEPS && !in.done(); ++step) {
        const std::uint8_t op = in.next() % 8;
        const std::uint8_t arg = in.next();
        switch (op) {
            case 0: p.set_piece(color_from(arg >> 6), square_from(arg)); break;
            case 1: p.clear_square(square_from(arg)); break;
            case 2: {
                const std::vector<Move> moves = p.legal_moves();
                if (!moves.empty()) apply_checked(p, moves[arg % moves.size()]);
                break;
            }
            case 3: {
                const Move m{square_from(arg), square_from(in.next())};
                check_supporting_pivots(p, p.side_to_move, m);
                check_supporting_pivots(p, opponent(p.side_to_move), m);
                apply_checked(p, m);
                break;
            }
            case 4: p.set_side_to_move(color_from(arg)); break;
            case 5: {
                const Position original = p;
                Position copy = p;
                copy.set_piece(color_from(arg >> 6), square_from(arg));
                copy.clear_square(square_from(in.next()));
                FUZZ_CHECK(p == original);
                check_invariants(copy);
                break;
            }
            case 6: {
                // The captures in the rules' order.
                std::vector<Move> captures;
                for (const Move m : p.legal_moves())
                    if (p.piece_at(m.to) == opponent(p.side_to_move)) captures.push_back(m);
                if (!captures.empty()) apply_checked(p, captures[arg % captures.size()]);
                break;
            }
            case 7: check_reflect_set(p.occupied() ^ in.next_u64(), arg, in.next()); break;
        }
        check_invariants(p);
    }
    check_position(p);
    return 0;
}
