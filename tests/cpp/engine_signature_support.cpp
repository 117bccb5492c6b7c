#include "engine_signature_support.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <random>

#include "core_positions_support.h"

namespace tovak::signature {

// --- JSON -------------------------------------------------------------------

Json Json::of(bool b) {
    Json j;
    j.kind = Kind::Bool;
    j.boolean = b;
    return j;
}
Json Json::of(std::int64_t i) {
    Json j;
    j.kind = Kind::Integer;
    j.integer = i;
    return j;
}
Json Json::of(std::string s) {
    Json j;
    j.kind = Kind::String;
    j.text = std::move(s);
    return j;
}
Json Json::array(std::vector<Json> items) {
    Json j;
    j.kind = Kind::Array;
    j.items = std::move(items);
    return j;
}
Json Json::object(std::vector<std::pair<std::string, Json>> members) {
    Json j;
    j.kind = Kind::Object;
    j.members = std::move(members);
    return j;
}

const Json& Json::operator[](std::string_view key) const {
    static const Json absent;
    for (const auto& [name, value] : members)
        if (name == key) return value;
    return absent;
}

namespace {

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    std::optional<Json> document() {
        std::optional<Json> v = value();
        skip_space();
        if (!v || at_ != text_.size()) return std::nullopt;
        return v;
    }

private:
    void skip_space() {
        while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
    }
    bool take(char c) {
        skip_space();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool take_word(std::string_view word) {
        skip_space();
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }
    std::optional<std::string> string() {
        if (!take('"')) return std::nullopt;
        std::string out;
        while (at_ < text_.size() && text_[at_] != '"') {
            if (text_[at_] == '\\') {
                if (++at_ >= text_.size()) return std::nullopt;
                const char escaped = text_[at_];
                if (escaped != '"' && escaped != '\\' && escaped != '/') return std::nullopt;
                out.push_back(escaped);
            } else {
                out.push_back(text_[at_]);
            }
            ++at_;
        }
        if (at_ >= text_.size()) return std::nullopt;
        ++at_;
        return out;
    }
    std::optional<Json> value() {
        skip_space();
        if (at_ >= text_.size()) return std::nullopt;
        const char c = text_[at_];
        if (c == '{') {
            ++at_;
            std::vector<std::pair<std::string, Json>> members;
            if (take('}')) return Json::object(std::move(members));
            do {
                std::optional<std::string> key = string();
                if (!key || !take(':')) return std::nullopt;
                std::optional<Json> v = value();
                if (!v) return std::nullopt;
                members.emplace_back(std::move(*key), std::move(*v));
            } while (take(','));
            if (!take('}')) return std::nullopt;
            return Json::object(std::move(members));
        }
        if (c == '[') {
            ++at_;
            std::vector<Json> items;
            if (take(']')) return Json::array(std::move(items));
            do {
                std::optional<Json> v = value();
                if (!v) return std::nullopt;
                items.push_back(std::move(*v));
            } while (take(','));
            if (!take(']')) return std::nullopt;
            return Json::array(std::move(items));
        }
        if (c == '"') {
            std::optional<std::string> s = string();
            if (!s) return std::nullopt;
            return Json::of(std::move(*s));
        }
        if (take_word("null")) return Json::null();
        if (take_word("true")) return Json::of(true);
        if (take_word("false")) return Json::of(false);
        std::int64_t number = 0;
        const auto [end, error] = std::from_chars(text_.data() + at_, text_.data() + text_.size(), number);
        if (error != std::errc() || end == text_.data() + at_) return std::nullopt;
        at_ = static_cast<std::size_t>(end - text_.data());
        return Json::of(number);
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

bool is_scalar(const Json& v) { return v.kind != Json::Kind::Array && v.kind != Json::Kind::Object; }

void write(const Json& v, int indent, std::string& out) {
    const std::string pad(static_cast<std::size_t>(indent), ' ');
    const std::string inner(static_cast<std::size_t>(indent + 2), ' ');
    switch (v.kind) {
        case Json::Kind::Null: out += "null"; break;
        case Json::Kind::Bool: out += v.boolean ? "true" : "false"; break;
        case Json::Kind::Integer: out += std::to_string(v.integer); break;
        case Json::Kind::String:
            out += '"';
            for (const char c : v.text) {
                if (c == '"' || c == '\\') out += '\\';
                out += c;
            }
            out += '"';
            break;
        case Json::Kind::Array: {
            bool flat = true;
            for (const Json& item : v.items) flat = flat && is_scalar(item);
            out += '[';
            for (std::size_t i = 0; i < v.items.size(); ++i) {
                if (i) out += flat ? ", " : ",";
                if (!flat) out += "\n" + inner;
                write(v.items[i], indent + 2, out);
            }
            if (!flat && !v.items.empty()) out += "\n" + pad;
            out += ']';
            break;
        }
        case Json::Kind::Object: {
            out += '{';
            for (std::size_t i = 0; i < v.members.size(); ++i) {
                out += i ? ",\n" : "\n";
                out += inner + '"' + v.members[i].first + "\": ";
                write(v.members[i].second, indent + 2, out);
            }
            if (!v.members.empty()) out += "\n" + pad;
            out += '}';
            break;
        }
    }
}

}  // namespace

std::optional<Json> parse_json(std::string_view text) { return Parser(text).document(); }

std::string to_text(const Json& value) {
    std::string out;
    write(value, 0, out);
    out += '\n';
    return out;
}

// --- Positions ----------------------------------------------------------------

namespace {

// Pieces given as space-separated square lists; the squares are valid.
Position placed(std::string_view white, std::string_view black, Color side_to_move) {
    Position p = Position::empty(side_to_move);
    for (const auto& [squares, colour] : {std::pair{white, Color::White}, std::pair{black, Color::Black}}) {
        for (std::size_t at = 0; at + 2 <= squares.size(); at += 3) p.set_piece(colour, *parse_square(squares.substr(at, 2)));
    }
    return p;
}

}  // namespace

std::vector<NamedPosition> signature_positions() {
    std::vector<NamedPosition> out;
    out.push_back({"initial", Position::initial()});
    // Random games, cut after a number of plies (or at their end).
    const struct {
        std::uint64_t seed;
        int plies;
    } games[] = {{1, 4}, {4, 60}, {9, 60}, {5, 90}};
    for (const auto& g : games) {
        const samples::RandomGame game = samples::random_game(g.seed, g.plies);
        out.push_back({"game " + std::to_string(g.seed) + " after " + std::to_string(game.moves.size()) + " plies",
                       game.states.back()});
    }
    out.push_back({"lone capture", placed("a1 c1 e1", "g1 h8", Color::White)});
    out.push_back({"captures both ways, black to move", placed("b7 c6 d5 g6", "e8 f7 h5", Color::Black)});
    out.push_back({"two trios on the back ranks", placed("a1 b1 c1", "f8 g8 h8", Color::White)});
    std::mt19937_64 rng(2024);
    out.push_back({"random placement 6 v 6", samples::random_placement(rng, 6, 6, Color::White)});
    out.push_back({"random placement 9 v 7, black to move", samples::random_placement(rng, 9, 7, Color::Black)});
    out.push_back({"finished: white has two pieces", placed("a1 b1", "a8 b8 c8", Color::White)});
    return out;
}

// --- Results --------------------------------------------------------------------

namespace {

Json move_json(Move m) { return Json::of(std::string(move_text(m).view())); }

Json line_json(const std::vector<Move>& line) {
    std::vector<Json> items;
    for (const Move m : line) items.push_back(move_json(m));
    return Json::array(std::move(items));
}

std::string hex_of(Bitboard b) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%016llx", static_cast<unsigned long long>(b));
    return text;
}

std::int64_t as_integer(std::uint64_t v) { return static_cast<std::int64_t>(v); }

}  // namespace

Json analyze_timed_json(const engine::AnalysisResult& r) {
    const engine::SearchStats& s = r.stats;
    return Json::object({
        {"root_legal_moves", Json::of(as_integer(s.root_legal_moves))},
        {"completed_depth", Json::of(std::int64_t{s.completed_depth})},
        {"nodes", Json::of(as_integer(s.nodes))},
        {"quiescence_nodes", Json::of(as_integer(s.quiescence_nodes))},
        {"timed_out", Json::of(s.timed_out)},
        {"best_move", r.best ? move_json(r.best->best_move) : Json::null()},
        {"score", r.best ? Json::of(std::int64_t{r.best->score}) : Json::null()},
        {"principal_variation", r.best ? line_json(r.best->principal_variation) : Json::array({})},
    });
}

Json analyze_json(const std::optional<engine::RootResult>& r) {
    if (!r) return Json::null();
    return Json::object({
        {"best_move", move_json(r->best_move)},
        {"score", Json::of(std::int64_t{r->score})},
        {"depth", Json::of(std::int64_t{r->depth})},
        {"principal_variation", line_json(r->principal_variation)},
    });
}

Json signature_entry(const NamedPosition& p) {
    const engine::Duration budget{BUDGET_MS / 1000, static_cast<std::uint32_t>((BUDGET_MS % 1000) * 1'000'000)};
    std::vector<Json> iterative;
    for (int d = 1; d <= MAX_ITERATIVE_DEPTH; ++d) {
        const engine::AnalysisResult r = engine::analyze_iterative(p.position, static_cast<std::uint8_t>(d), budget);
        iterative.push_back(Json::object({{"depth", Json::of(std::int64_t{d})}, {"result", analyze_timed_json(r)}}));
    }
    std::vector<Json> fixed;
    for (int d = 0; d <= MAX_FIXED_DEPTH; ++d) {
        const std::optional<engine::RootResult> r = engine::best_move(p.position, static_cast<std::uint8_t>(d));
        fixed.push_back(Json::object({{"depth", Json::of(std::int64_t{d})}, {"result", analyze_json(r)}}));
    }
    return Json::object({
        {"name", Json::of(p.name)},
        {"white", Json::of(hex_of(p.position.white()))},
        {"black", Json::of(hex_of(p.position.black()))},
        {"side_to_move", Json::of(std::string(color_name(p.position.side_to_move)))},
        {"analyze_iterative", Json::array(std::move(iterative))},
        {"best_move", Json::array(std::move(fixed))},
    });
}

Json signature_document() {
    std::vector<Json> entries;
    for (const NamedPosition& p : signature_positions()) entries.push_back(signature_entry(p));
    return Json::object({
        {"description",
         Json::of(std::string("Engine bench signature. analyze_iterative entries are Position.analyze_timed(depth, "
                              "budget_ms) dicts, best_move entries Position.analyze(depth) dicts (null for None). "
                              "Regenerate only for an intended behaviour change: TOVAK_WRITE_ENGINE_SIGNATURE=1 "
                              "engine_tests --gtest_filter='Signature.*'"))},
        {"budget_ms", Json::of(static_cast<std::int64_t>(BUDGET_MS))},
        {"positions", Json::array(std::move(entries))},
    });
}

std::optional<Position> position_of(const Json& entry) {
    auto set_of = [](const Json& v) -> std::optional<Bitboard> {
        if (v.kind != Json::Kind::String || v.text.size() != 18 || v.text.compare(0, 2, "0x") != 0)
            return std::nullopt;
        Bitboard b = 0;
        const auto [end, error] = std::from_chars(v.text.data() + 2, v.text.data() + v.text.size(), b, 16);
        if (error != std::errc() || end != v.text.data() + v.text.size()) return std::nullopt;
        return b;
    };
    const std::optional<Bitboard> white = set_of(entry["white"]);
    const std::optional<Bitboard> black = set_of(entry["black"]);
    const std::optional<Color> side = parse_color(entry["side_to_move"].text);
    if (!white || !black || !side || (*white & *black)) return std::nullopt;
    Position p = Position::empty(*side);
    for (int s = 0; s < 64; ++s) {
        if (*white & bit_of(s)) p.set_piece(Color::White, Square::from_index(s));
        if (*black & bit_of(s)) p.set_piece(Color::Black, Square::from_index(s));
    }
    return p;
}

std::string signature_path() { return std::string(TOVAK_TEST_DATA_DIR) + "/engine_signature.json"; }

}  // namespace tovak::signature
