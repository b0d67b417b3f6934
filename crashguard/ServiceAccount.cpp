#include "crashguard/ServiceAccount.h"

#include "common/UniqueResource.h"

#include <windows.h>

namespace {

struct SidTraits {
    using Type = PSID;
    static Type Invalid() noexcept { return nullptr; }
    static void Free(Type value) noexcept { ::FreeSid(value); }
};
using UniqueSid = UniqueResource<SidTraits>;

// The user record and the largest possible SID.
constexpr DWORD kTokenUserBlockSize = 76;

UniqueSid MakeNtAuthoritySid(DWORD rid) {
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    UniqueSid sid;
    if (!AllocateAndInitializeSid(&ntAuthority, 1, rid, 0, 0, 0, 0, 0, 0, 0, sid.Put()))
        return UniqueSid();
    return sid;
}

} // namespace

bool IsServiceAccount() {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put()))
        return false;

    const UniqueSid serviceSids[] = {MakeNtAuthoritySid(SECURITY_LOCAL_SYSTEM_RID),  // S-1-5-18
                                     MakeNtAuthoritySid(SECURITY_LOCAL_SERVICE_RID), // S-1-5-19
                                     MakeNtAuthoritySid(SECURITY_NETWORK_SERVICE_RID)};
    for (const UniqueSid& sid : serviceSids) {
        if (!sid)
            return false;
    }

    UniqueLocalMemory block(LocalAlloc(LPTR, kTokenUserBlockSize));
    if (!block)
        return false;
    DWORD returned = 0;
    if (!GetTokenInformation(token.Get(), TokenUser, block.Get(), kTokenUserBlockSize, &returned))
        return false;

    const PSID user = static_cast<TOKEN_USER*>(block.Get())->User.Sid;
    for (const UniqueSid& sid : serviceSids) {
        if (EqualSid(user, sid.Get()))
            return true;
    }
    return false;
}
