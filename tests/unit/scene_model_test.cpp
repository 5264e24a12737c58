#include "client/scene_model.h"

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/portable_lock.h"
#include "tests/support/json_value.h"

namespace {

std::vector<std::string> SourceNames(SceneInfo* scene)
{
    std::vector<std::string> names;
    for (uint32_t i = 0; i < SceneModel::SourceCount(scene); ++i) {
        names.push_back(SceneModel::SourceAt(scene, i)->Name);
    }
    return names;
}

std::vector<std::string> SceneNames(SceneModel& model)
{
    std::vector<std::string> names;
    for (uint32_t i = 0; i < model.SceneCount(); ++i) {
        names.push_back(model.SceneAt(i)->Name);
    }
    return names;
}

void Populate(SceneInfo* scene, const char* json)
{
    JsonValue value = ParseMessage(json);
    SceneModel::PopulateSources(scene, value.get());
}

void Reorder(SceneInfo* scene, const char* json)
{
    JsonValue value = ParseMessage(json);
    SceneModel::ReorderSources(scene, value.get());
}

using Names = std::vector<std::string>;

TEST(NameComparison, FoldsOnlyAsciiLetters)
{
    EXPECT_TRUE(NamesEqualIgnoringCase("Intro Scene", "iNTRO sCENE"));
    EXPECT_TRUE(NamesEqualIgnoringCase("", ""));
    EXPECT_FALSE(NamesEqualIgnoringCase("Intro", "Intro2"));
    EXPECT_FALSE(NamesEqualIgnoringCase("Intro2", "Intro"));
    // '@' and '`' sit next to the letters; bytes above 127 are never folded.
    EXPECT_FALSE(NamesEqualIgnoringCase("@", "`"));
    EXPECT_FALSE(NamesEqualIgnoringCase("\xC3\x84", "\xC3\xA4"));
    EXPECT_TRUE(NamesEqualIgnoringCase("\xC3\x84", "\xC3\x84"));
    EXPECT_FALSE(NamesEqualIgnoringCase(nullptr, "a"));
}

TEST(SceneLookup, IgnoresCaseAndKeepsTheFirstSpelling)
{
    SceneModel model;
    SceneInfo* intro = model.FindScene("Intro", true);
    EXPECT_EQ(model.FindScene("intro", false), intro);
    EXPECT_EQ(model.FindScene("INTRO", true), intro);
    EXPECT_EQ(intro->Name, "Intro");
    EXPECT_EQ(model.SceneCount(), 1u);
    EXPECT_EQ(model.FindScene("Outro", false), nullptr);
    EXPECT_EQ(model.SceneCount(), 1u);
    SourceInfo* src = SceneModel::FindSource(intro, "Cam", true);
    EXPECT_EQ(SceneModel::FindSource(intro, "cAM", false), src);
    EXPECT_EQ(src->Scene, intro);
    EXPECT_EQ(SceneModel::FindSource(intro, nullptr, true), nullptr);
    EXPECT_EQ(model.FindScene(nullptr, true), nullptr);
}

TEST(SceneLookup, IndexAtTheCountAndCurrentSceneRules)
{
    SceneModel model;
    SceneInfo* empty = model.FindScene("", true);
    SceneInfo* game = model.FindScene("Game", true);
    EXPECT_EQ(model.SceneAt(2), nullptr);
    EXPECT_EQ(model.SceneAt(static_cast<uint32_t>(-1)), nullptr);
    EXPECT_EQ(SceneModel::SourceAt(game, 0), nullptr);

    // An empty current name finds nothing, although a scene with an empty name exists.
    EXPECT_EQ(model.CurrentScene(), nullptr);
    EXPECT_FALSE(model.IsCurrentScene(game));
    (void)empty;

    model.SetCurrentSceneName("GAME");
    EXPECT_EQ(model.CurrentScene(), game);
    EXPECT_TRUE(model.IsCurrentScene(game));
    EXPECT_EQ(model.CurrentSceneNameCopy(), "GAME");

    model.SetCurrentSceneName("Elsewhere");
    EXPECT_EQ(model.CurrentScene(), nullptr);
}

TEST(PopulateSources, KeepsKnownRecordsAndTakesTheArraysOrder)
{
    SceneModel model;
    SceneInfo* scene = model.FindScene("S", true);
    Populate(scene, R"([{"name":"b","x":1.0},{"name":"c"}])");
    SourceInfo* b = SceneModel::FindSource(scene, "b", false);
    uint64_t cSerial = SceneModel::FindSource(scene, "c", false)->Serial;

    Populate(scene, R"([{"name":"a"},{"name":"B","cx":1280.0,"cy":720.0,"x":2.5,"y":-3.0,"render":true}])");
    EXPECT_EQ(SourceNames(scene), (Names{"a", "b"}));
    EXPECT_EQ(SceneModel::SourceAt(scene, 1), b); // same record, spelling kept
    EXPECT_EQ(b->Width, 1280.0);
    EXPECT_EQ(b->Height, 720.0);
    EXPECT_EQ(b->X, 2.5);
    EXPECT_EQ(b->Y, -3.0);
    EXPECT_TRUE(b->Render);
    EXPECT_FALSE(b->Stale);
    EXPECT_EQ(model.SourceBySerial(cSerial), nullptr);
    EXPECT_EQ(model.SourceBySerial(b->Serial), b);
}

TEST(PopulateSources, ReadsNumbersAndFlagsByTheStrictRules)
{
    SceneModel model;
    SceneInfo* scene = model.FindScene("S", true);
    Populate(scene, R"([{"name":"a","cx":1280.0,"render":true}])");
    // An integer is not a real, a string "true" is not a flag: both reset the fields.
    Populate(scene, R"([{"name":"a","cx":1280,"cy":"720","render":"true"}])");
    SourceInfo* a = SceneModel::SourceAt(scene, 0);
    EXPECT_EQ(a->Width, 0.0);
    EXPECT_EQ(a->Height, 0.0);
    EXPECT_FALSE(a->Render);
}

TEST(PopulateSources, EmptyOrMissingArrayDeletesEverySource)
{
    SceneModel model;
    SceneInfo* scene = model.FindScene("S", true);
    Populate(scene, R"([{"name":"a"},{"name":"b"}])");
    Populate(scene, "[]");
    EXPECT_EQ(SceneModel::SourceCount(scene), 0u);
    Populate(scene, R"([{"name":"a"}])");
    SceneModel::PopulateSources(scene, nullptr);
    EXPECT_EQ(SceneModel::SourceCount(scene), 0u);
    Populate(scene, R"([{"name":"a"}])");
    Populate(scene, R"({"name":"a"})"); // an object is not an array
    EXPECT_EQ(SceneModel::SourceCount(scene), 0u);
}

TEST(PopulateSources, RepeatedNameKeepsOneRecordAtItsLastPlace)
{
    SceneModel model;
    SceneInfo* scene = model.FindScene("S", true);
    Populate(scene, R"([{"name":"a"},{"name":"b"}])");
    SourceInfo* a = SceneModel::FindSource(scene, "a", false);
    Populate(scene, R"([{"name":"a","x":1.0},{"name":"b"},{"name":"A","x":2.0},{"name":"n"},{"name":"N"}])");
    EXPECT_EQ(SourceNames(scene), (Names{"b", "a", "n"}));
    EXPECT_EQ(SceneModel::SourceAt(scene, 1), a);
    EXPECT_EQ(a->X, 2.0); // the last occurrence's values
    // The list must stay a set of distinct records: a later rebuild frees each once.
    Populate(scene, "[]");
    EXPECT_EQ(SceneModel::SourceCount(scene), 0u);
}

TEST(PopulateSources, SkipsElementsWithoutAStringName)
{
    SceneModel model;
    SceneInfo* scene = model.FindScene("S", true);
    Populate(scene, R"([{"name":"a"},{"x":1.0},{"name":5},"b",null,{"name":"c"}])");
    EXPECT_EQ(SourceNames(scene), (Names{"a", "c"}));
}

TEST(ReorderSources, SkipsUnknownNamesAndDeletesTheUnnamed)
{
    SceneModel model;
    SceneInfo* scene = model.FindScene("S", true);
    Populate(scene, R"([{"name":"a","x":7.0},{"name":"b"},{"name":"c"}])");
    SourceInfo* a = SceneModel::FindSource(scene, "a", false);
    uint64_t bSerial = SceneModel::FindSource(scene, "b", false)->Serial;
    Reorder(scene, R"(["C","x","a"])");
    EXPECT_EQ(SourceNames(scene), (Names{"c", "a"}));
    EXPECT_EQ(SceneModel::SourceAt(scene, 1), a);
    EXPECT_EQ(a->X, 7.0);
    EXPECT_EQ(model.SourceBySerial(bSerial), nullptr);
}

TEST(ReorderSources, RepeatedAndNonStringNamesAreHandled)
{
    SceneModel model;
    SceneInfo* scene = model.FindScene("S", true);
    Populate(scene, R"([{"name":"a"},{"name":"b"},{"name":"c"}])");
    Reorder(scene, R"(["a",1,"b",{"name":"c"},"A",null])");
    EXPECT_EQ(SourceNames(scene), (Names{"b", "a"}));
    Reorder(scene, R"("a")"); // not an array: nothing is named, everything goes
    EXPECT_EQ(SceneModel::SourceCount(scene), 0u);
}

TEST(StaleRemoval, ConsecutiveAndTrailingRecordsGoInOnePass)
{
    SceneModel model;
    for (const char* name : {"s1", "s2", "s3", "s4", "s5", "s6"}) {
        model.FindScene(name, true);
    }
    model.MarkScenesStale();
    model.FindScene("s1", false)->Stale = false;
    model.FindScene("s4", false)->Stale = false;
    model.RemoveStaleScenes();
    EXPECT_EQ(SceneNames(model), (Names{"s1", "s4"}));

    SceneInfo* scene = model.FindScene("s1", false);
    Populate(scene, R"([{"name":"a"},{"name":"b"},{"name":"c"},{"name":"d"},{"name":"e"}])");
    SceneModel::MarkSourcesStale(scene);
    SceneModel::FindSource(scene, "c", false)->Stale = false;
    SceneModel::RemoveStaleSources(scene);
    EXPECT_EQ(SourceNames(scene), (Names{"c"}));
}

TEST(Serials, AreUniqueAndDeadRecordsAreNotFound)
{
    SceneModel model;
    SceneInfo* first = model.FindScene("A", true);
    Populate(first, R"([{"name":"x"}])");
    uint64_t sceneSerial = first->Serial;
    uint64_t sourceSerial = SceneModel::SourceAt(first, 0)->Serial;
    EXPECT_NE(sceneSerial, 0u);
    EXPECT_NE(sceneSerial, sourceSerial);
    EXPECT_EQ(model.SceneBySerial(sceneSerial), first);

    model.MarkScenesStale();
    model.RemoveStaleScenes();
    EXPECT_EQ(model.SceneBySerial(sceneSerial), nullptr);
    EXPECT_EQ(model.SourceBySerial(sourceSerial), nullptr);

    // A record created afterwards, perhaps at the same address, has a new serial; and a
    // second model never hands out a serial the first one used.
    SceneInfo* again = model.FindScene("A", true);
    EXPECT_GT(again->Serial, sourceSerial);
    EXPECT_EQ(model.SceneBySerial(sceneSerial), nullptr);
    SceneModel other;
    EXPECT_GT(other.FindScene("A", true)->Serial, again->Serial);
    EXPECT_EQ(model.SceneBySerial(0), nullptr);
}

TEST(ClearScenes, DeletesEveryScene)
{
    SceneModel model;
    Populate(model.FindScene("A", true), R"([{"name":"x"},{"name":"y"}])");
    model.FindScene("B", true);
    model.SetCurrentSceneName("A");
    model.ClearScenes();
    EXPECT_EQ(model.SceneCount(), 0u);
    EXPECT_EQ(model.CurrentScene(), nullptr);
}

// The worker rebuilds while a reader walks the model under the same locks, in the same
// order; the sanitizer builds check that no field is touched outside them.
TEST(Concurrency, ReaderUnderTheLocksSeesWholeRecords)
{
    SceneModel model;
    JsonValue wide = ParseMessage(R"([{"name":"a","x":1.0},{"name":"b","x":1.0},{"name":"c","x":1.0}])");
    JsonValue narrow = ParseMessage(R"([{"name":"c","x":2.0}])");
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i) {
            CSectionGuard scenes(&model.ScenesLock);
            model.MarkScenesStale();
            SceneInfo* scene = model.FindScene(i % 3 == 0 ? "One" : "Two", true);
            SceneModel::PopulateSources(scene, (i % 2 == 0 ? wide : narrow).get());
            scene->Stale = false;
            model.RemoveStaleScenes();
        }
    });
    for (int i = 0; i < 2000; ++i) {
        CSectionGuard scenes(&model.ScenesLock);
        for (uint32_t s = 0; s < model.SceneCount(); ++s) {
            SceneInfo* scene = model.SceneAt(s);
            CSectionGuard sources(&scene->SourcesLock);
            for (SourceInfo* source : scene->Sources) {
                EXPECT_EQ(source->Scene, scene);
                EXPECT_TRUE(source->X == 1.0 || source->X == 2.0);
            }
        }
    }
    writer.join();
    EXPECT_LE(model.SceneCount(), 1u);
}

} // namespace
