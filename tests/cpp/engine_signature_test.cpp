// The bench signature: every checked-in position's analyses must give
// exactly the recorded counters and lines. With TOVAK_WRITE_ENGINE_SIGNATURE
// set, the file is written from the current engine instead, and the test
// skips (see engine_signature_support.h).

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "engine_signature_support.h"

namespace tovak::signature {
namespace {

std::optional<Json> read_signature() {
    std::ifstream in(signature_path());
    if (!in) return std::nullopt;
    std::stringstream text;
    text << in.rdbuf();
    return parse_json(text.str());
}

TEST(Signature, FileMatchesTheEngine) {
    if (std::getenv("TOVAK_WRITE_ENGINE_SIGNATURE") != nullptr) {
        std::ofstream out(signature_path());
        out << to_text(signature_document());
        ASSERT_TRUE(out.good()) << "cannot write " << signature_path();
        // A file just written from the engine agrees with it by construction:
        // this run checks nothing, and says so; the next run checks.
        GTEST_SKIP() << "wrote " << signature_path() << "; run again without TOVAK_WRITE_ENGINE_SIGNATURE to check it";
    }
    const std::optional<Json> file = read_signature();
    ASSERT_TRUE(file.has_value()) << "missing or malformed " << signature_path();
    EXPECT_EQ((*file)["budget_ms"], Json::of(static_cast<std::int64_t>(BUDGET_MS)));
    const Json& entries = (*file)["positions"];
    ASSERT_GE(entries.items.size(), 10u);
    for (const Json& entry : entries.items) {
        const std::string& name = entry["name"].text;
        const std::optional<Position> p = position_of(entry);
        ASSERT_TRUE(p.has_value()) << name;
        // Recomputing the entry from the stored position covers every depth
        // and every key; a shorter or edited file shows as a difference.
        const Json now = signature_entry(NamedPosition{name, *p});
        EXPECT_EQ(to_text(entry), to_text(now)) << name;
    }
}

TEST(Signature, StoredPositionsAreTheListedOnes) {
    const std::optional<Json> file = read_signature();
    ASSERT_TRUE(file.has_value());
    const std::vector<NamedPosition> listed = signature_positions();
    const Json& entries = (*file)["positions"];
    ASSERT_EQ(entries.items.size(), listed.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
        EXPECT_EQ(entries.items[i]["name"].text, listed[i].name);
        EXPECT_EQ(position_of(entries.items[i]), listed[i].position) << listed[i].name;
    }
}

TEST(Signature, JsonReadsWhatItWrites) {
    const Json v = Json::object({{"a", Json::array({Json::of(std::int64_t{-3}), Json::null(), Json::of(true)})},
                                 {"b", Json::of(std::string("x\"y\\z"))},
                                 {"c", Json::array({Json::object({{"d", Json::array({})}})})}});
    EXPECT_EQ(parse_json(to_text(v)), v);
    for (const char* bad : {"", "{", "[1,]", "{\"a\" 1}", "tru", "\"open", "[1] 2", "{\"a\":1,}"})
        EXPECT_FALSE(parse_json(bad).has_value()) << bad;
}

}  // namespace
}  // namespace tovak::signature
