#include "platform/windows/winfiles.h"

namespace {

std::vector<BYTE> tokenInformation(TOKEN_INFORMATION_CLASS kind)
{
    std::vector<BYTE> buffer;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return buffer;
    DWORD size = 0;
    GetTokenInformation(token, kind, nullptr, 0, &size);
    buffer.resize(size);
    if (size == 0 || !GetTokenInformation(token, kind, buffer.data(), size, &size))
        buffer.clear();
    CloseHandle(token);
    return buffer;
}

// The owners this process's new files get: its user, or the Administrators
// group for an elevated administrator (the token's default owner).
bool isOwnSid(PSID owner)
{
    // The process's token keeps its user and owner for its life.
    static const std::vector<BYTE> user = tokenInformation(TokenUser);
    static const std::vector<BYTE> defaultOwner = tokenInformation(TokenOwner);
    return (!user.empty() && EqualSid(reinterpret_cast<const TOKEN_USER *>(user.data())->User.Sid, owner))
        || (!defaultOwner.empty()
            && EqualSid(reinterpret_cast<const TOKEN_OWNER *>(defaultOwner.data())->Owner, owner));
}

} // namespace

bool Platform::Win::ownedByUser(HANDLE handle)
{
    // Read into a buffer that mostly fits at once: GetSecurityInfo asks for
    // the size first, and under Wine each question is a round trip to the
    // server, made for every status.
    std::vector<BYTE> descriptor(256);
    DWORD needed = 0;
    bool read = GetKernelObjectSecurity(handle, OWNER_SECURITY_INFORMATION, descriptor.data(),
                                        DWORD(descriptor.size()), &needed);
    if (!read && GetLastError() == ERROR_INSUFFICIENT_BUFFER && needed > descriptor.size()) {
        descriptor.resize(needed);
        read = GetKernelObjectSecurity(handle, OWNER_SECURITY_INFORMATION, descriptor.data(),
                                       DWORD(descriptor.size()), &needed);
    }
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (read && GetSecurityDescriptorOwner(descriptor.data(), &owner, &defaulted) && owner && isOwnSid(owner))
        return true;
    // FAT and exFAT keep no owners: every file there is anybody's, so none
    // can be told apart from the user's own.
    DWORD flags = 0;
    return GetVolumeInformationByHandleW(handle, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)
        && !(flags & FILE_PERSISTENT_ACLS);
}

Platform::Win::PrivateSecurity::PrivateSecurity()
    : m_user(tokenInformation(TokenUser))
{
    if (m_user.empty())
        return;
    const PSID sid = reinterpret_cast<TOKEN_USER *>(m_user.data())->User.Sid;
    const DWORD size = DWORD(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid));
    m_acl.resize(size);
    const PACL acl = reinterpret_cast<PACL>(m_acl.data());
    m_ok = InitializeAcl(acl, size, ACL_REVISION)
        && AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                                 FILE_ALL_ACCESS, sid)
        && InitializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION)
        && SetSecurityDescriptorDacl(&m_descriptor, TRUE, acl, FALSE)
        && SetSecurityDescriptorControl(&m_descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    m_attributes.nLength = sizeof m_attributes;
    m_attributes.lpSecurityDescriptor = &m_descriptor;
    m_attributes.bInheritHandle = FALSE;
}
