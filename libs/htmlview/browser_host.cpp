// A minimal in-place container for the web browser control: client site, in-place site and
// frame. Script errors and other prompts are silenced so that the program never blocks.
#include "browser_host.h"
#include <exdisp.h>
#include <ole2.h>

namespace htmlview {

namespace {

class Site final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
 public:
  explicit Site(HWND w) : hwnd_(w) {}
  // IUnknown: the site lives exactly as long as its host, so counting is nominal.
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IOleClientSite) *out = static_cast<IOleClientSite*>(this);
    else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) *out = static_cast<IOleInPlaceSite*>(this);
    else if (iid == IID_IOleInPlaceFrame || iid == IID_IOleInPlaceUIWindow) *out = static_cast<IOleInPlaceFrame*>(this);
    else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP GetContainer(IOleContainer** c) override { *c = nullptr; return E_NOINTERFACE; }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
  // IOleWindow (shared by the in-place site and frame)
  STDMETHODIMP GetWindow(HWND* w) override { *w = hwnd_; return S_OK; }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
    *frame = this;
    *doc = nullptr;
    GetClientRect(hwnd_, pos);
    GetClientRect(hwnd_, clip);
    info->fMDIApp = FALSE;
    info->hwndFrame = GetAncestor(hwnd_, GA_ROOT);
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }
  // IOleInPlaceUIWindow / IOleInPlaceFrame
  STDMETHODIMP GetBorder(LPRECT) override { return E_NOTIMPL; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

 private:
  HWND hwnd_;
};

class ControlHost final : public BrowserHost {
 public:
  explicit ControlHost(HWND w) : site_(w), hwnd_(w) {}
  ~ControlHost() override {
    if (browser_) browser_->Release();
    if (ole_) {
      ole_->Close(OLECLOSE_NOSAVE);
      ole_->SetClientSite(nullptr);
      ole_->Release();
    }
  }
  bool start() {
    if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(&ole_))))
      return false;
    if (FAILED(ole_->SetClientSite(static_cast<IOleClientSite*>(&site_)))) return false;
    OleSetContainedObject(ole_, TRUE);
    RECT rc;
    GetClientRect(hwnd_, &rc);
    if (FAILED(ole_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(&site_),
                            -1, hwnd_, &rc)))
      return false;
    if (FAILED(ole_->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser_)))) return false;
    browser_->put_Silent(VARIANT_TRUE);
    return true;
  }
  void navigate(const std::wstring& url) override {
    VARIANT flags, empty;
    VariantInit(&flags);
    VariantInit(&empty);
    flags.vt = VT_I4;
    flags.lVal = navNoHistory | navNoReadFromCache | navNoWriteToCache;
    BSTR u = SysAllocString(url.c_str());
    browser_->Navigate(u, &flags, &empty, &empty, &empty);
    SysFreeString(u);
  }
  void resize(int width, int height) override {
    browser_->put_Width(width);
    browser_->put_Height(height);
  }
  std::wstring title() override {
    BSTR t = nullptr;
    std::wstring s;
    if (SUCCEEDED(browser_->get_LocationName(&t)) && t) s = t;
    SysFreeString(t);
    return s;
  }

 private:
  Site site_;
  HWND hwnd_;
  IOleObject* ole_ = nullptr;
  IWebBrowser2* browser_ = nullptr;
};

}  // namespace

std::unique_ptr<BrowserHost> BrowserHost::create(HWND parent) {
  auto host = std::make_unique<ControlHost>(parent);
  if (!host->start()) return nullptr;
  return host;
}

}  // namespace htmlview
