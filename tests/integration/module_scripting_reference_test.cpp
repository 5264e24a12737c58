// docs/scripting.md against the real module: it names exactly the members, methods and
// events the module registers, and each of its console examples runs against the simulator.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "haven/ks_type_definition.h"
#include "tests/support/module_fixture.h"

namespace {

const std::vector<std::string> TypeNames = {"obsremote", "obsremotescene", "obsremotesource"};

std::vector<std::string> ReferenceLines()
{
    std::ifstream file(std::string(HVE_SOURCE_DIR) + "/docs/scripting.md");
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

// What the reference documents: "type.Member", "type.Method()" and event names, read from
// the first cell of the tables under "## `type`" / "### Members" or "### Methods", and
// under "## Events".
std::set<std::string> DocumentedNames()
{
    std::set<std::string> names;
    std::string section, kind;
    for (const std::string& line : ReferenceLines()) {
        if (line.rfind("## ", 0) == 0) {
            section = line.substr(3);
            kind.clear();
        } else if (line.rfind("### ", 0) == 0) {
            kind = line.substr(4);
        } else if (line.rfind("| `", 0) == 0) {
            const std::string name = line.substr(3, line.find('`', 3) - 3);
            if (section == "Events")
                names.insert(name);
            else if (kind == "Members")
                names.insert(section.substr(1, section.size() - 2) + "." + name);
            else if (kind == "Methods")
                names.insert(section.substr(1, section.size() - 2) + "." + name + "()");
        }
    }
    return names;
}

// The blocks marked ```havenhost, each a list of console lines.
std::vector<std::vector<std::string>> Examples()
{
    std::vector<std::vector<std::string>> blocks;
    bool inside = false;
    for (const std::string& line : ReferenceLines()) {
        if (line == "```havenhost") {
            blocks.emplace_back();
            inside = true;
        } else if (line.rfind("```", 0) == 0) {
            inside = false;
        } else if (inside) {
            blocks.back().push_back(line);
        }
    }
    return blocks;
}

class ModuleScriptingReference : public ModuleFixture {
protected:
    ModuleScriptingReference() : ModuleFixture({HVE_MODULE_PATH, HVE_SOURCE_DIR}) {}
};

TEST_F(ModuleScriptingReference, NamesExactlyWhatTheModuleRegisters)
{
    std::set<std::string> registered;
    for (const std::string& typeName : TypeNames) {
        KSTypeDefinition* type = Host->FindType(typeName.c_str(), 0, 0);
        ASSERT_NE(type, nullptr) << typeName;
        for (const auto& [name, slot] : type->MemberIndex)
            registered.insert(typeName + "." + name);
        for (const auto& [name, slot] : type->MethodIndex)
            registered.insert(typeName + "." + name + "()");
    }
    for (const haven::RegisteredEvent& event : Host->EventTable().Registered())
        registered.insert(event.Name);
    const std::set<std::string> documented = DocumentedNames();
    std::string undocumented, unregistered;
    for (const std::string& name : registered)
        if (documented.count(name) == 0)
            undocumented += " " + name;
    for (const std::string& name : documented)
        if (registered.count(name) == 0)
            unregistered += " " + name;
    EXPECT_EQ(undocumented, "") << "registered, missing from docs/scripting.md";
    EXPECT_EQ(unregistered, "") << "in docs/scripting.md, not registered";
}

class ModuleScriptingExample : public ModuleScriptingReference,
                               public ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(ModuleScriptingExample, Runs)
{
    for (const std::string& line : GetParam()) {
        const haven::LineResult result = Host->RunLine(line);
        std::string output;
        for (const std::string& printed : result.Output)
            output += "\n  " + printed;
        ASSERT_TRUE(result.Ok) << line << output;
    }
}

INSTANTIATE_TEST_SUITE_P(Reference, ModuleScriptingExample, ::testing::ValuesIn(Examples()));

} // namespace
