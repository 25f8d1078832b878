// Typed rows of control notifications (CtrlEntry) and their dispatch; the
// framework's windows (Wnd.h) and the service tools' bare dialogs
// (svctools/SimpleDlg.h) route WM_COMMAND and WM_NOTIFY through them.
#pragma once
#include <windows.h>
#include <tuple>
#include <type_traits>

namespace ctrlmap {
template <class F> struct Sig;
template <class C, class R, class... A> struct Sig<R (C::*)(A...)> {
    using Ret = R;
    using Args = std::tuple<A...>;
    static constexpr size_t Count = sizeof...(A);
};
template <class C, class R, class... A> struct Sig<R (C::*)(A...) const> : Sig<R (C::*)(A...)> {};
template <class S, size_t I> using Arg = std::tuple_element_t<I, typename S::Args>;
}  // namespace ctrlmap

// One row of a control-notification table; build rows with Command/Notify.
template <class T> struct CtrlEntry {
    UINT code;
    UINT id;
    UINT lastId;  // non-zero: the row covers id..lastId
    bool notify;  // a WM_NOTIFY code, else a WM_COMMAND notification
    LRESULT (*call)(T* self, UINT id, NMHDR* nm);

    template <auto PMF> static constexpr CtrlEntry Command(UINT code, UINT id, UINT lastId = 0) {
        return CtrlEntry{code, id, lastId, false, &CallCommand<PMF>};
    }
    template <auto PMF> static constexpr CtrlEntry Notify(UINT code, UINT id, UINT lastId = 0) {
        return CtrlEntry{code, id, lastId, true, &CallNotify<PMF>};
    }

    template <auto PMF> static LRESULT CallCommand(T* self, UINT id, NMHDR*) {
        using S = ctrlmap::Sig<decltype(PMF)>;
        if constexpr (S::Count == 0) {
            (self->*PMF)();
        } else {
            static_assert(S::Count == 1 && std::is_integral_v<ctrlmap::Arg<S, 0>>,
                          "a command row's handler is f() or f(UINT id)");
            (self->*PMF)(id);
        }
        return 0;
    }
    template <auto PMF> static LRESULT CallNotify(T* self, UINT id, NMHDR* nm) {
        using S = ctrlmap::Sig<decltype(PMF)>;
        static_assert(S::Count == 1 || S::Count == 2, "a notify row's handler is f(NMxx*) or f(UINT id, NMxx*)");
        using P = ctrlmap::Arg<S, S::Count - 1>;
        static_assert(std::is_pointer_v<P>, "the notification comes as a pointer to its struct");
        P info = reinterpret_cast<P>(nm);
        if constexpr (S::Count == 1) {
            if constexpr (std::is_void_v<typename S::Ret>) {
                (self->*PMF)(info);
                return 0;
            } else
                return (LRESULT)(self->*PMF)(info);
        } else {
            static_assert(std::is_integral_v<ctrlmap::Arg<S, 0>>, "the id comes first");
            if constexpr (std::is_void_v<typename S::Ret>) {
                (self->*PMF)(id, info);
                return 0;
            } else
                return (LRESULT)(self->*PMF)(id, info);
        }
    }
};

template <class T, size_t N>
BOOL DispatchControls(T* self, const CtrlEntry<T> (&map)[N], UINT code, UINT id, NMHDR* nm, LRESULT* result) {
    for (const auto& e : map) {
        if (e.code != code || e.notify != (nm != nullptr)) continue;
        UINT last = e.lastId ? e.lastId : e.id;
        if (id < e.id || id > last) continue;
        LRESULT r = e.call(self, id, nm);
        if (result) *result = r;
        return TRUE;
    }
    return FALSE;
}
