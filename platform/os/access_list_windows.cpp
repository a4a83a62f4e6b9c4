// Reads and writes the list with GetFileSecurityW and SetFileSecurityW,
// which take it as stored; the higher-level calls recompute inheritance,
// and under Wine do not store it at all.
#include "platform/os/access_list_windows.h"

#include <memory>

bool HasOwnAccess(PSECURITY_DESCRIPTOR descriptor) {
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!GetSecurityDescriptorControl(descriptor, &control, &revision)) return false;
  if ((control & SE_DACL_PROTECTED) != 0) return true;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL list = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted)) return false;
  if (!present || list == nullptr) return true;
  for (DWORD i = 0; i < list->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(list, i, &entry)) return false;
    if ((static_cast<const ACE_HEADER*>(entry)->AceFlags & INHERITED_ACE) == 0) return true;
  }
  return false;
}

void TakeAccessList(const std::u16string& file, const std::u16string& model) {
  DWORD size = 0;
  GetFileSecurityW(Wide(model), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
  // A list changed between the two calls may have grown: asked again.
  for (int attempt = 0; attempt < 3 && size != 0; ++attempt) {
    const std::unique_ptr<void, decltype(&LocalFree)> descriptor(LocalAlloc(LMEM_FIXED, size),
                                                                 &LocalFree);
    if (descriptor == nullptr) return;
    DWORD needed = 0;
    if (!GetFileSecurityW(Wide(model), DACL_SECURITY_INFORMATION, descriptor.get(), size,
                          &needed)) {
      if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return;
      size = needed;
      continue;
    }
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!HasOwnAccess(descriptor.get()) ||
        !GetSecurityDescriptorControl(descriptor.get(), &control, &revision)) {
      return;
    }
    // A list cut off from the folder's is said so outright: the control
    // bits alone may not carry it. One that takes part in the folder's
    // inheritance asks to go on doing so.
    SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION;
    if ((control & SE_DACL_PROTECTED) != 0) {
      what |= PROTECTED_DACL_SECURITY_INFORMATION;
    } else if ((control & SE_DACL_AUTO_INHERITED) != 0) {
      SetSecurityDescriptorControl(descriptor.get(), SE_DACL_AUTO_INHERIT_REQ,
                                   SE_DACL_AUTO_INHERIT_REQ);
    }
    SetFileSecurityW(Wide(file), what, descriptor.get());
    return;
  }
}
