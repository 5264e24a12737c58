// The scene model on its own: case-insensitive look-ups that keep the first spelling,
// rebuilds that keep known records in place, stale-record removal and serials.
#include "client/scene_model.h"

#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "client/name_compare.h"
#include "support/portable_lock.h"
#include "tests/support/json_value.h"

namespace {

using Names = std::vector<std::string>;

Names SourceNames(SceneInfo* scene)
{
    Names names;
    for (uint32_t i = 0; i < SceneModel::SourceCount(scene); ++i) {
        names.push_back(SceneModel::SourceAt(scene, i)->Name);
    }
    return names;
}

void Populate(SceneInfo* scene, const char* json)
{
    SceneModel::PopulateSources(scene, ParseMessage(json).get());
}

TEST(SceneModelTest, LookupsIgnoreAsciiCaseAndKeepTheFirstSpelling)
{
    EXPECT_TRUE(NamesEqualIgnoringCase("Intro Scene", "iNTRO sCENE"));
    // '@' and '`' sit next to the letters; bytes above 127 are never folded.
    const char* const different[][2] = {
        {"Intro", "Intro2"}, {"Intro2", "Intro"}, {"@", "`"}, {"\xC3\x84", "\xC3\xA4"}, {nullptr, "a"}};
    for (const auto& pair : different) {
        EXPECT_FALSE(NamesEqualIgnoringCase(pair[0], pair[1])) << pair[1];
    }

    SceneModel model;
    model.FindScene("", true);
    SceneInfo* intro = model.FindScene("Intro", true);
    EXPECT_EQ(model.FindScene("intro", false), intro);
    EXPECT_EQ(model.FindScene("INTRO", true), intro);
    EXPECT_EQ(intro->Name, "Intro");
    EXPECT_EQ(model.FindScene("Outro", false), nullptr);
    EXPECT_EQ(model.FindScene(nullptr, true), nullptr);
    EXPECT_EQ(model.SceneCount(), 2u);
    EXPECT_EQ(model.SceneAt(2), nullptr);
    SourceInfo* cam = SceneModel::FindSource(intro, "Cam", true);
    EXPECT_EQ(SceneModel::FindSource(intro, "cAM", false), cam);
    EXPECT_EQ(cam->Scene, intro);
    EXPECT_EQ(SceneModel::FindSource(intro, nullptr, true), nullptr);
    EXPECT_EQ(SceneModel::SourceAt(intro, 1), nullptr);

    // An empty current name finds nothing, although a scene with an empty name exists.
    EXPECT_EQ(model.CurrentScene(), nullptr);
    EXPECT_FALSE(model.IsCurrentScene(intro));
    model.SetCurrentSceneName("INTRO");
    EXPECT_EQ(model.CurrentScene(), intro);
    EXPECT_TRUE(model.IsCurrentScene(intro));
    model.SetCurrentSceneName("Elsewhere");
    EXPECT_EQ(model.CurrentScene(), nullptr);
}

// Known records stay (same record, first spelling) at the array's order with the new values,
// read by the strict rules: an integer is no real, a string "true" no flag. A repeated name
// keeps one record at its last place with its last values. Unnamed elements are skipped.
TEST(SceneModelTest, PopulateSourcesKeepsKnownRecordsInTheArraysOrder)
{
    SceneModel model;
    SceneInfo* scene = model.FindScene("S", true);
    Populate(scene, R"([{"name":"b","x":1.0,"cx":5.0,"render":true},{"name":"c"}])");
    SourceInfo* b = SceneModel::FindSource(scene, "b", false);
    uint64_t cSerial = SceneModel::FindSource(scene, "c", false)->Serial;

    Populate(scene, R"([{"name":"a"},{"name":"B","cx":1280,"cy":"720","render":"true","x":2.5,"y":-3.0},{"x":1.0},)"
                    R"({"name":5},"d",null,{"name":"a","x":7.0},{"name":"n"},{"name":"N","y":1.0}])");
    EXPECT_EQ(SourceNames(scene), (Names{"b", "a", "n"}));
    EXPECT_EQ(SceneModel::SourceAt(scene, 0), b);
    EXPECT_EQ(std::make_tuple(b->X, b->Y, b->Width, b->Height, b->Render, b->Stale),
              std::make_tuple(2.5, -3.0, 0.0, 0.0, false, false));
    EXPECT_EQ(SceneModel::SourceAt(scene, 1)->X, 7.0);
    EXPECT_EQ(SceneModel::SourceAt(scene, 2)->Y, 1.0);
    CWinLock held;
    EXPECT_EQ(model.SourceBySerial(cSerial, held), nullptr);
    EXPECT_FALSE(held.IsLocked());
    EXPECT_EQ(model.SourceBySerial(b->Serial, held), b);
    EXPECT_TRUE(held.IsLocked()) << "a found source comes with its scene's lock held";
    held.Unlock();

    // Named sources move to the named order (a repeated name takes its last place), keeping
    // their records; unknown and non-string names are skipped, and sources not named are deleted.
    const uint64_t aSerial = SceneModel::SourceAt(scene, 1)->Serial;
    SceneModel::ReorderSources(scene, ParseMessage(R"(["b","x",1,"N",{"name":"a"},"B",null])").get());
    EXPECT_EQ(SourceNames(scene), (Names{"n", "b"}));
    EXPECT_EQ(SceneModel::SourceAt(scene, 1), b);
    EXPECT_EQ(model.SourceBySerial(aSerial, held), nullptr);
    SceneModel::ReorderSources(scene, ParseMessage(R"("b")").get()); // not an array: nothing named
    EXPECT_EQ(SceneModel::SourceCount(scene), 0u);

    // The list stays a set of distinct records: an empty, missing or non-array list frees each once.
    for (const char* list : {"[]", "null", R"({"name":"a"})"}) {
        Populate(scene, R"([{"name":"a"},{"name":"b"}])");
        Populate(scene, list);
        EXPECT_EQ(SceneModel::SourceCount(scene), 0u) << list;
    }
}

// Consecutive and trailing stale records go in one pass; a deleted record's serial finds
// nothing, and no serial is handed out twice, not even by another model.
TEST(SceneModelTest, StaleRemovalAndSerials)
{
    SceneModel model;
    for (const char* name : {"s1", "s2", "s3", "s4", "s5", "s6"}) {
        model.FindScene(name, true);
    }
    SceneInfo* s2 = model.FindScene("s2", false);
    Populate(s2, R"([{"name":"x"}])");
    const uint64_t sceneSerial = s2->Serial, sourceSerial = SceneModel::SourceAt(s2, 0)->Serial;
    EXPECT_NE(sceneSerial, sourceSerial);
    EXPECT_EQ(model.SceneBySerial(sceneSerial), s2);
    model.MarkScenesStale();
    model.FindScene("s1", false)->Stale = false;
    model.FindScene("s4", false)->Stale = false;
    model.RemoveStaleScenes();
    ASSERT_EQ(model.SceneCount(), 2u);
    EXPECT_EQ(model.SceneAt(0)->Name + model.SceneAt(1)->Name, "s1s4");
    CWinLock held;
    EXPECT_EQ(model.SourceBySerial(sourceSerial, held), nullptr);
    EXPECT_EQ(model.SceneBySerial(0), nullptr);
    SceneInfo* again = model.FindScene("s2", true); // perhaps at the same address
    EXPECT_GT(again->Serial, sourceSerial);
    EXPECT_EQ(model.SceneBySerial(sceneSerial), nullptr);
    SceneModel other;
    EXPECT_GT(other.FindScene("A", true)->Serial, again->Serial);

    SceneInfo* scene = model.FindScene("s1", false);
    Populate(scene, R"([{"name":"a"},{"name":"b"},{"name":"c"},{"name":"d"},{"name":"e"}])");
    SceneModel::MarkSourcesStale(scene);
    SceneModel::FindSource(scene, "c", false)->Stale = false;
    SceneModel::RemoveStaleSources(scene);
    EXPECT_EQ(SourceNames(scene), (Names{"c"}));

    model.SetCurrentSceneName("s1");
    model.ClearScenes();
    EXPECT_EQ(model.SceneCount(), 0u);
    EXPECT_EQ(model.CurrentScene(), nullptr);
}

} // namespace
