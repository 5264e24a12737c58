#include "script/obsremote_source_type.h"

#include <string>

#include "client/obs_remote_client.h"
#include "script/host_text.h"
#include "script/live_records.h"
#include "script/script_arguments.h"
#include "script/script_results.h"

// The members and methods of obsremotesource in id order; each list is the only one, as for
// obsremote (obsremote_type.cpp).
#define HVE_SOURCE_MEMBERS(MEMBER) \
    MEMBER(Name)                  \
    MEMBER(Render)                \
    MEMBER(X)                     \
    MEMBER(Y)                     \
    MEMBER(Width)                 \
    MEMBER(Height)

#define HVE_SOURCE_METHODS(METHOD) \
    METHOD(SetRender)

enum OBSRemoteSourceMember : uint32_t {
#define HVE_SOURCE_MEMBER_ID(name) SourceMember##name,
    HVE_SOURCE_MEMBERS(HVE_SOURCE_MEMBER_ID)
#undef HVE_SOURCE_MEMBER_ID
};

enum OBSRemoteSourceMethod : uint32_t {
#define HVE_SOURCE_METHOD_ID(name) SourceMethod##name,
    HVE_SOURCE_METHODS(HVE_SOURCE_METHOD_ID)
#undef HVE_SOURCE_METHOD_ID
};

#define HVE_SOURCE_ONE(name) +1
constexpr uint32_t SourceMemberCount = 0 HVE_SOURCE_MEMBERS(HVE_SOURCE_ONE);
constexpr uint32_t SourceMethodCount = 0 HVE_SOURCE_METHODS(HVE_SOURCE_ONE);
#undef HVE_SOURCE_ONE

namespace {

#define HVE_SOURCE_NAME(name) #name,
const char* const MemberNames[] = {HVE_SOURCE_MEMBERS(HVE_SOURCE_NAME)};
const char* const MethodNames[] = {HVE_SOURCE_METHODS(HVE_SOURCE_NAME)};
#undef HVE_SOURCE_NAME

} // namespace

OBSRemoteSourceType::OBSRemoteSourceType(OBSRemoteClient* client)
    : KSTypeDefinition("obsremotesource"), Client(client)
{
    for (uint32_t id = 0; id < SourceMemberCount; ++id) {
        AddMember(id, MemberNames[id], nullptr);
    }
    for (uint32_t id = 0; id < SourceMethodCount; ++id) {
        AddMethod(id, MethodNames[id], nullptr);
    }
}

OBSRemoteSourceType::~OBSRemoteSourceType() = default;

// Every field is read while the owning scene's SourcesLock is held (LiveSource holds it).
bool OBSRemoteSourceType::GetMember(KSValue value, _KSTypeMember* member, int32_t, const char* const*,
                                    KSTypedValue& result)
{
    if (value.IsNone() || member == nullptr || Client == nullptr || member->ID >= SourceMemberCount) {
        return false;
    }
    LiveSource live(Client->Model, value);
    const SourceInfo* source = live.Source();
    if (source == nullptr) {
        return false;
    }
    switch (static_cast<OBSRemoteSourceMember>(member->ID)) {
    case SourceMemberName:
        // A source update may rename the record on the worker; the host gets a copy.
        return ResultString(result, HoldTextForHost(source->Name));
    case SourceMemberRender:
        return ResultBool(result, source->Render);
    case SourceMemberX:
        return ResultFloat64(result, source->X);
    case SourceMemberY:
        return ResultFloat64(result, source->Y);
    case SourceMemberWidth:
        return ResultFloat64(result, source->Width);
    case SourceMemberHeight:
        return ResultFloat64(result, source->Height);
    }
    return false;
}

bool OBSRemoteSourceType::GetMethod(KSValue& value, _KSTypeMember* method, int32_t argc, const char* const* argv)
{
    if (value.IsNone() || method == nullptr || Client == nullptr || method->ID >= SourceMethodCount) {
        return false;
    }
    switch (static_cast<OBSRemoteSourceMethod>(method->ID)) {
    case SourceMethodSetRender:
        return SetRender(value, argc, argv);
    }
    return false;
}

// OBS's render request acts on the current scene only, so a source of any other scene is
// refused. The model's Render changes only when OBS reports the source.
bool OBSRemoteSourceType::SetRender(const KSValue& value, int32_t argc, const char* const* argv)
{
    if (argc < 1) {
        return false;
    }
    const bool render = ReadFlagArgument(ArgumentText(argc, argv, 0));
    std::string name;
    {
        LiveSource live(Client->Model, value);
        const SourceInfo* source = live.Source();
        if (source == nullptr || !Client->Model.IsCurrentScene(source->Scene) || !Client->IsConnected()) {
            return false;
        }
        if (source->Render == render) {
            return true;
        }
        name = source->Name;
    }
    // The request goes out without the model's locks held.
    Client->SetSourceRender(name.c_str(), render);
    return true;
}

bool OBSRemoteSourceType::ToText(KSValue value, char* buffer, uint32_t size)
{
    if (value.IsNone() || Client == nullptr) {
        return false;
    }
    LiveSource live(Client->Model, value);
    if (live.Source() == nullptr) {
        return false;
    }
    return CopyTextToBuffer(live.Source()->Name.c_str(), buffer, size);
}
