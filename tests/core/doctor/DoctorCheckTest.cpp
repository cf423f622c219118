#include "core/doctor/DoctorCheck.h"
#include "core/base/JsonDecode.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace twinlantern;
using Level = DoctorCheck::Level;

TEST(DoctorCheck, LevelsAreOrderedBySeverityAndNamedByRawValue) {
    EXPECT_LT(Level::ok, Level::info);
    EXPECT_LT(Level::info, Level::warning);
    EXPECT_LT(Level::warning, Level::failure);
    EXPECT_GE(Level::failure, Level::failure);
    for (auto [level, raw] :
         {std::pair{Level::ok, "ok"}, std::pair{Level::info, "info"},
          std::pair{Level::warning, "warning"}, std::pair{Level::failure, "failure"}}) {
        EXPECT_STREQ(rawValue(level), raw);
        EXPECT_EQ(doctorLevelFromRawValue(raw), level);
    }
    EXPECT_EQ(doctorLevelFromRawValue("Warning"), std::nullopt);
}

TEST(DoctorCheck, JsonWritesOptionalFieldsOnlyWhenSetAndReadsThemBack) {
    DoctorCheck bare{"datadirs", Level::ok, "Data folders are writable", std::nullopt,
                     std::nullopt};
    EXPECT_EQ(nlohmann::json(bare).dump(),
              R"({"id":"datadirs","level":"ok","title":"Data folders are writable"})");
    EXPECT_EQ(nlohmann::json(bare).get<DoctorCheck>(), bare);

    DoctorCheck full{"rule.missing", Level::warning, "t", "d", "f"};
    EXPECT_EQ(nlohmann::json(full).dump(),
              R"({"detail":"d","fix":"f","id":"rule.missing","level":"warning","title":"t"})");
    EXPECT_EQ(nlohmann::json(full).get<DoctorCheck>(), full);

    auto nulls = nlohmann::json::parse(
        R"({"id":"x","level":"info","title":"t","detail":null,"fix":null,"other":1})");
    EXPECT_EQ(nulls.get<DoctorCheck>(), (DoctorCheck{"x", Level::info, "t", {}, {}}));
}

TEST(DoctorCheck, JsonDecodingRefusesMissingOrWrongFields) {
    for (const char* text : {
             R"({"level":"ok","title":"t"})",
             R"({"id":"x","title":"t"})",
             R"({"id":"x","level":"ok"})",
             R"({"id":"x","level":"fatal","title":"t"})",
             R"({"id":"x","level":3,"title":"t"})",
             R"({"id":"x","level":"ok","title":"t","fix":7})",
             R"(["x"])",
         }) {
        SCOPED_TRACE(text);
        EXPECT_THROW(nlohmann::json::parse(text).get<DoctorCheck>(), JsonDecodeError);
    }
}
