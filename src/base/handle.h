// Move-only ownership of Win32 handles: one template, one traits type per
// handle kind. Closing never touches the thread's last-error value, so the
// error a caller reads is the one of the call that failed.
#pragma once

#include "base/winapi.h"

namespace wl {

template <class Traits>
class ScopedHandle {
public:
    using Handle = typename Traits::Handle;

    ScopedHandle() : handle_(Traits::invalid()) {}
    explicit ScopedHandle(Handle h) : handle_(h) {}
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~ScopedHandle() { reset(); }

    Handle get() const { return handle_; }
    bool valid() const { return handle_ != Traits::invalid() && handle_ != Handle(); }
    explicit operator bool() const { return valid(); }

    Handle release() {
        Handle h = handle_;
        handle_ = Traits::invalid();
        return h;
    }
    void reset(Handle h = Traits::invalid()) {
        if (valid()) {
            DWORD saved = GetLastError();
            Traits::close(handle_);
            SetLastError(saved);
        }
        handle_ = h;
    }
    // For out-parameters of creating calls.
    Handle* receive() {
        reset();
        return &handle_;
    }

private:
    Handle handle_;
};

// Kernel objects whose failure value is NULL (processes, threads, semaphores).
struct KernelTraits {
    using Handle = HANDLE;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { CloseHandle(h); }
};

// Files, whose failure value is INVALID_HANDLE_VALUE.
struct FileTraits {
    using Handle = HANDLE;
    static Handle invalid() { return INVALID_HANDLE_VALUE; }
    static void close(Handle h) { CloseHandle(h); }
};

struct FindTraits {
    using Handle = HANDLE;
    static Handle invalid() { return INVALID_HANDLE_VALUE; }
    static void close(Handle h) { FindClose(h); }
};

struct RegistryTraits {
    using Handle = HKEY;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { RegCloseKey(h); }
};

struct ModuleTraits {
    using Handle = HMODULE;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { FreeLibrary(h); }
};

using KernelHandle = ScopedHandle<KernelTraits>;
using FileHandle = ScopedHandle<FileTraits>;
using FindHandle = ScopedHandle<FindTraits>;
using RegistryKey = ScopedHandle<RegistryTraits>;
using ModuleHandle = ScopedHandle<ModuleTraits>;

}  // namespace wl
