// Copy-data messages between top-level windows found by caption, as the
// magnetometer program sends and expects them: plain Win32, no Qt.
#ifdef _WIN32

#include <windows.h>

#include <algorithm>

#include "maglink/MagTransport.h"

namespace zavo {

namespace {

const char kClassName[] = "ZAVOCopyDataWindow";

class Win32Transport : public MagTransport {
  public:
    ~Win32Transport() override { Stop(); }

    Served Serve(const std::string& name, Receiver receiver, std::string& detail) override {
        Stop();
        if (FindWindowA(nullptr, name.c_str())) return Served::Taken;
        HINSTANCE inst = GetModuleHandleA(nullptr);
        WNDCLASSA wc{};
        wc.lpfnWndProc = &Proc;
        wc.hInstance = inst;
        wc.lpszClassName = kClassName;
        // A second registration fails harmlessly: the class is the same.
        RegisterClassA(&wc);
        // Top-level and never shown: a message-only window cannot be found
        // by its caption.
        hwnd_ = CreateWindowExA(0, kClassName, name.c_str(), WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                nullptr, inst, nullptr);
        if (!hwnd_) {
            detail = "CreateWindowEx failed, error " + std::to_string(GetLastError());
            return Served::Failed;
        }
        receiver_ = std::move(receiver);
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        return Served::Serving;
    }

    void Stop() override {
        if (!hwnd_) return;
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
        hwnd_ = nullptr;
    }

    Sent Send(const std::string& name, const CopyData& data, std::uint64_t sender,
              int timeoutMs) override {
        HWND to = FindWindowA(nullptr, name.c_str());
        if (!to) return Sent::NoReceiver;
        // The sender's zero-filled text buffer; a longer payload keeps its size.
        std::vector<std::uint8_t> buffer(std::max(data.bytes.size(), kTextBuffer), 0);
        std::copy(data.bytes.begin(), data.bytes.end(), buffer.begin());
        COPYDATASTRUCT cds{};
        cds.dwData = data.type;
        cds.cbData = DWORD(data.bytes.size());
        cds.lpData = buffer.data();
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(to, WM_COPYDATA, WPARAM(sender), reinterpret_cast<LPARAM>(&cds),
                                 SMTO_ABORTIFHUNG, UINT(timeoutMs), &result))
            return Sent::Failed;
        return Sent::Delivered;
    }

  private:
    static LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM w, LPARAM l) {
        if (msg == WM_COPYDATA) {
            auto* self = reinterpret_cast<Win32Transport*>(GetWindowLongPtrA(h, GWLP_USERDATA));
            const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(l);
            if (!self || !cds || !self->receiver_) return FALSE;
            if (cds->cbData > kMaxPayload || (cds->cbData > 0 && !cds->lpData)) return FALSE;
            CopyData d;
            // A type code beyond 32 bits is no type this program knows.
            d.type = cds->dwData > 0xFFFFFFFFu ? 0 : std::uint32_t(cds->dwData);
            const auto* b = static_cast<const std::uint8_t*>(cds->lpData);
            d.bytes.assign(b, b + cds->cbData);
            self->receiver_(d);
            return TRUE;
        }
        return DefWindowProcA(h, msg, w, l);
    }

    HWND hwnd_ = nullptr;
    Receiver receiver_;
};

}  // namespace

std::unique_ptr<MagTransport> MagTransport_System() {
    return std::make_unique<Win32Transport>();
}

}  // namespace zavo

#endif
