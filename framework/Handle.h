// Move-only owners of Win32 handles: the handle is closed when the owner
// goes out of scope, is reset or is assigned another one.
//
//   OwnedHandle file(CreateFileW(...));      // null and INVALID_HANDLE_VALUE both mean none
//   if (!file) return GetLastError();
//   OwnedSocket s(socket(AF_INET, SOCK_STREAM, 0));
//   OwnedKey key; RegOpenKeyExW(root, path, 0, KEY_READ, key.put());
//   HANDLE raw = file.release();             // the caller owns it now
#pragma once
#include <winsock2.h>
#include <windows.h>
#include <wininet.h>
#include <commctrl.h>
#include <utility>

template <class Traits> class UniqueHandle {
public:
    using Type = typename Traits::Type;
    UniqueHandle() = default;
    explicit UniqueHandle(Type h) : h_(h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }

    Type get() const { return h_; }
    explicit operator bool() const { return Traits::Valid(h_); }
    Type release() {
        Type h = h_;
        h_ = Traits::None();
        return h;
    }
    void reset(Type h = Traits::None()) {
        if (h_ != h && Traits::Valid(h_)) Traits::Close(h_);
        h_ = h;
    }
    // For out-parameters: closes what is held, then gives its address.
    Type* put() {
        reset();
        return &h_;
    }

private:
    Type h_ = Traits::None();
};

// Handles for which null alone means none.
template <class T> struct NullHandleTraits {
    using Type = T;
    static Type None() { return nullptr; }
    static bool Valid(Type h) { return h != nullptr; }
};
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type None() { return nullptr; }
    static bool Valid(Type h) { return h && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};
struct SocketTraits {
    using Type = SOCKET;
    static Type None() { return INVALID_SOCKET; }
    static bool Valid(Type h) { return h != INVALID_SOCKET; }
    static void Close(Type h) { ::closesocket(h); }
};
struct InternetTraits : NullHandleTraits<HINTERNET> {
    static void Close(Type h) { ::InternetCloseHandle(h); }
};
struct KeyTraits : NullHandleTraits<HKEY> {
    static void Close(Type h) { ::RegCloseKey(h); }
};
struct IconTraits : NullHandleTraits<HICON> {
    static void Close(Type h) { ::DestroyIcon(h); }
};
template <class T> struct GdiTraits : NullHandleTraits<T> {
    static void Close(T h) { ::DeleteObject(h); }
};
struct ImageListTraits : NullHandleTraits<HIMAGELIST> {
    static void Close(Type h) { ::ImageList_Destroy(h); }
};
struct GlobalTraits : NullHandleTraits<HGLOBAL> {
    static void Close(Type h) { ::GlobalFree(h); }
};
struct MenuTraits : NullHandleTraits<HMENU> {
    static void Close(Type h) { ::DestroyMenu(h); }
};

using OwnedHandle = UniqueHandle<KernelHandleTraits>;
using OwnedSocket = UniqueHandle<SocketTraits>;
using OwnedInternet = UniqueHandle<InternetTraits>;  // link wininet
using OwnedKey = UniqueHandle<KeyTraits>;
using OwnedIcon = UniqueHandle<IconTraits>;
template <class T> using OwnedGdi = UniqueHandle<GdiTraits<T>>;  // OwnedGdi<HBITMAP>, OwnedGdi<HFONT>, ...
using OwnedImageList = UniqueHandle<ImageListTraits>;
using OwnedGlobal = UniqueHandle<GlobalTraits>;
using OwnedMenu = UniqueHandle<MenuTraits>;
