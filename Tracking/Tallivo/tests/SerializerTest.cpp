#include <gtest/gtest.h>

#include "FakeClock.h"
#include "Tracking/Tallivo/Impl/JsonEventSerializer.h"

using namespace Nolvar::Tracking::Instant;

namespace {

JsonEventSerializer MakeSerializer() {
    return JsonEventSerializer(Nolvar::Core::Version{2, 1, 0, 0}, std::make_shared<Testing::FakeClock>(1700000000));
}

const std::string kValid1 = R"({"name":"A","params":{"HUID":"h","PRODUCT_NAME":"P"}})";
const std::string kValid2 = R"({"name":"B","params":{"HUID":"h2","PRODUCT_NAME":"P","X":"1"}})";

} // namespace

TEST(JsonEventSerializer, StoredEventIsCompactSortedAndUtf8) {
    const auto serializer = MakeSerializer();
    EXPECT_EQ(serializer.serialize(Event("E", {{"B", "2"}, {"A", "1"}})), R"({"name":"E","params":{"A":"1","B":"2"}})");
    EXPECT_EQ(serializer.serialize(Event("E", {{"CITY", "Москва"}})), "{\"name\":\"E\",\"params\":{\"CITY\":\"Москва\"}}");
    EXPECT_EQ(serializer.serialize(Event("E", {{"BAD", "a\xFF" "b"}})),
              "{\"name\":\"E\",\"params\":{\"BAD\":\"a\xEF\xBF\xBD" "b\"}}");
    EXPECT_EQ(serializer.serialize(Event("E", {})), R"({"name":"E","params":null})");
    EXPECT_EQ(serializer.serialize(Event("", {{"A", "1"}})), "null");
}

TEST(JsonEventSerializer, EventVectorEnvelope) {
    const auto serializer = MakeSerializer();
    EXPECT_EQ(serializer.serialize(std::vector<Event>{}),
              R"({"brand":"nolvaria","cur_time":1700000000,"events":null,"version":"2.1"})");
    EXPECT_EQ(serializer.serialize(std::vector<Event>{Event("", {}), Event("E", {{"K", "V"}})}),
              R"({"brand":"nolvaria","cur_time":1700000000,"events":[{"name":"E","params":{"K":"V"}}],"version":"2.1"})");
}

TEST(JsonEventSerializer, BatchKeepsValidEventsInOrder) {
    const auto serializer = MakeSerializer();
    EXPECT_EQ(serializer.makeBatch({kValid2, "{broken", kValid1}),
              R"({"brand":"nolvaria","cur_time":1700000000,"events":[)" + kValid2 + "," + kValid1 +
                  R"(],"version":"2.1"})");
    // An empty string name counts as present; a null one does not.
    const std::string emptyName = R"({"name":"","params":{"HUID":"h","PRODUCT_NAME":"P"}})";
    EXPECT_NE(serializer.makeBatch({emptyName}), "");
    EXPECT_EQ(serializer.makeBatch({R"({"name":null,"params":{"HUID":"h","PRODUCT_NAME":"P"}})"}), "");
}

TEST(JsonEventSerializer, BatchOfOnlyInvalidTextsIsEmpty) {
    const auto serializer = MakeSerializer();
    EXPECT_EQ(serializer.makeBatch({}), "");
    EXPECT_EQ(serializer.makeBatch({"null", "not json", R"({"name":"A","params":{"PRODUCT_NAME":"P"}})",
                                    R"({"name":"A","params":{"HUID":{},"PRODUCT_NAME":"P"}})",
                                    R"({"name":"A","params":[]})", R"([1,2])"}),
              "");
    // Comments are not JSON.
    EXPECT_EQ(serializer.makeBatch({R"({"name":"A",/*c*/"params":{"HUID":"h","PRODUCT_NAME":"P"}})"}), "");
}

TEST(JsonEventSerializer, BatchTimeIsTakenWhenBuilt) {
    auto clock = std::make_shared<Testing::FakeClock>(100);
    JsonEventSerializer serializer(Nolvar::Core::Version{1, 2, 3, 0}, clock);
    EXPECT_NE(serializer.makeBatch({kValid1}).find(R"("cur_time":100,)"), std::string::npos);
    clock->set(200);
    const std::string later = serializer.makeBatch({kValid1});
    EXPECT_NE(later.find(R"("cur_time":200,)"), std::string::npos);
    EXPECT_NE(later.find(R"("version":"1.2.3")"), std::string::npos);
}

TEST(JsonEventSerializer, NullClockIsRefused) {
    EXPECT_THROW(JsonEventSerializer(Nolvar::Core::Version{}, nullptr), std::logic_error);
}

TEST(Event, EqualityAndMove) {
    Event first("E", {{"A", "1"}, {"B", "2"}});
    Event second;
    second.name = "E";
    second.params["B"] = "2";
    second.params["A"] = "1";
    EXPECT_TRUE(first == second);
    second.params["B"] = "3";
    EXPECT_FALSE(first == second);

    Event moved(std::move(first));
    EXPECT_TRUE(first.params.empty());
    EXPECT_EQ(moved.params.size(), 2u);
    Event assigned;
    assigned = std::move(moved);
    EXPECT_TRUE(moved.params.empty());
    EXPECT_EQ(assigned.name, "E");
}
