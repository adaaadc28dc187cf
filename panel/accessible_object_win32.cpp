#include "panel/accessible_object_win32.h"

#include <oleacc.h>

#include <new>

namespace {

HRESULT ReturnText(const std::string& text, BSTR* out) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  *out = SysAllocStringLen(nullptr, static_cast<UINT>(length));
  if (*out == nullptr) return E_OUTOFMEMORY;
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), *out, length);
  return S_OK;
}

std::string Narrow(BSTR text) {
  const int length = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return std::string();
  std::string out(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, &out[0], length, nullptr, nullptr);
  out.resize(static_cast<size_t>(length - 1));
  return out;
}

VARIANT ChildVariant(int32_t child) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = child == 0 ? CHILDID_SELF : child;
  return v;
}

class ClientAccessible final : public IAccessible {
 public:
  ClientAccessible(HWND window, const AccessibleModel& model, IAccessible* standard)
      : window_(window), model_(model), standard_(standard) {}
  ~ClientAccessible() {
    if (standard_) standard_->Release();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = id == IID_IUnknown || id == IID_IDispatch || id == IID_IAccessible ? this : nullptr;
    if (*object == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // Clients use the IAccessible methods themselves; there is no type information to dispatch by.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return count ? (*count = 0, S_OK) : E_POINTER; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    return Gone() ? RPC_E_DISCONNECTED : standard_ ? standard_->get_accParent(parent) : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
    if (count == nullptr) return E_POINTER;
    if (Gone()) return RPC_E_DISCONNECTED;
    if (model_.childCount) return *count = model_.childCount(model_.context), S_OK;
    return standard_ ? standard_->get_accChildCount(count) : E_FAIL;
  }
  // Every child of ours is a simple element, reached through its id: no object of its own.
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT id, IDispatch** child) override {
    if (child == nullptr) return E_POINTER;
    *child = nullptr;
    const int32_t c = ChildOf(id);
    if (c < 0) return E_INVALIDARG;
    return c > 0 ? S_FALSE : E_INVALIDARG;
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT id, BSTR* out) override {
    return Text(id, kTextName, out, &IAccessible::get_accName);
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT id, BSTR* out) override {
    return Text(id, kTextValue, out, &IAccessible::get_accValue);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT id, BSTR* out) override {
    return Text(id, kTextDescription, out, &IAccessible::get_accDescription);
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT id, BSTR* out) override {
    return Text(id, kTextDefaultAction, out, &IAccessible::get_accDefaultAction);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT id, VARIANT* role) override {
    return Number(id, role, model_.role, &IAccessible::get_accRole);
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT id, VARIANT* state) override {
    return Number(id, state, model_.state, &IAccessible::get_accState);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT id, BSTR* out) override {
    return StandardText(id, out, &IAccessible::get_accHelp);
  }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT id, LONG* topic) override {
    if (file) *file = nullptr;
    const int32_t c = ChildOf(id);
    if (c != 0) return c < 0 ? E_INVALIDARG : S_FALSE;
    return standard_ ? standard_->get_accHelpTopic(file, id, topic) : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT id, BSTR* out) override {
    return StandardText(id, out, &IAccessible::get_accKeyboardShortcut);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
    if (focus == nullptr) return E_POINTER;
    VariantInit(focus);
    if (Gone()) return RPC_E_DISCONNECTED;
    if (model_.focused == nullptr) return standard_ ? standard_->get_accFocus(focus) : S_FALSE;
    if (GetFocus() != window_) return S_FALSE;
    *focus = ChildVariant(model_.focused(model_.context));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
    if (selection == nullptr) return E_POINTER;
    VariantInit(selection);
    return standard_ ? standard_->get_accSelection(selection) : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT id) override {
    const int32_t c = ChildOf(id);
    if (c < 0) return E_INVALIDARG;
    if (c == 0) return standard_ ? standard_->accSelect(flags, id) : E_FAIL;
    if (flags != SELFLAG_TAKEFOCUS || model_.takeFocus == nullptr) return DISP_E_MEMBERNOTFOUND;
    return model_.takeFocus(model_.context, window_, c) ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT id) override {
    if (!left || !top || !width || !height) return E_POINTER;
    const int32_t c = ChildOf(id);
    if (c < 0) return E_INVALIDARG;
    if (c == 0 || model_.place == nullptr) return standard_ ? standard_->accLocation(left, top, width, height, id) : E_FAIL;
    RECT r;
    if (!model_.place(model_.context, c, &r)) return S_FALSE;
    MapWindowPoints(window_, nullptr, reinterpret_cast<POINT*>(&r), 2);
    *left = r.left, *top = r.top, *width = r.right - r.left, *height = r.bottom - r.top;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
    if (end == nullptr) return E_POINTER;
    VariantInit(end);
    const int32_t c = ChildOf(start);
    if (c < 0) return E_INVALIDARG;
    const bool inside = c > 0 || direction == NAVDIR_FIRSTCHILD || direction == NAVDIR_LASTCHILD;
    if (!inside || model_.navigate == nullptr) return standard_ ? standard_->accNavigate(direction, start, end) : S_FALSE;
    const int32_t to = model_.navigate(model_.context, c, direction);
    if (to <= 0) return S_FALSE;
    *end = ChildVariant(to);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* hit) override {
    if (hit == nullptr) return E_POINTER;
    VariantInit(hit);
    if (Gone()) return RPC_E_DISCONNECTED;
    POINT p{x, y};
    RECT client;
    ScreenToClient(window_, &p);
    GetClientRect(window_, &client);
    if (!PtInRect(&client, p)) return standard_ ? standard_->accHitTest(x, y, hit) : S_FALSE;
    *hit = ChildVariant(model_.childAt ? model_.childAt(model_.context, p) : 0);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT id) override {
    const int32_t c = ChildOf(id);
    if (c < 0) return E_INVALIDARG;
    if (c == 0) return standard_ ? standard_->accDoDefaultAction(id) : DISP_E_MEMBERNOTFOUND;
    return model_.doDefaultAction && model_.doDefaultAction(model_.context, window_, c) ? S_OK : DISP_E_MEMBERNOTFOUND;
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT id, BSTR value) override {
    const int32_t c = ChildOf(id);
    if (c < 0) return E_INVALIDARG;
    if (c == 0) return standard_ ? standard_->put_accValue(id, value) : DISP_E_MEMBERNOTFOUND;
    const std::string text = value ? Narrow(value) : std::string();
    return model_.setValue && model_.setValue(model_.context, window_, c, text) ? S_OK : DISP_E_MEMBERNOTFOUND;
  }

 private:
  using TextMethod = HRESULT (STDMETHODCALLTYPE IAccessible::*)(VARIANT, BSTR*);
  using NumberMethod = HRESULT (STDMETHODCALLTYPE IAccessible::*)(VARIANT, VARIANT*);

  // A client keeps the object as long as it likes; the window may be gone by then.
  bool Gone() const { return !IsWindow(window_); }
  int32_t Count() const {
    if (model_.childCount) return model_.childCount(model_.context);
    LONG count = 0;
    return standard_ && SUCCEEDED(standard_->get_accChildCount(&count)) ? count : 0;
  }
  // The child an id names: 0 for the client area itself, -1 for an id that names none.
  int32_t ChildOf(const VARIANT& id) const {
    if (id.vt != VT_I4 || Gone()) return -1;
    if (id.lVal == CHILDID_SELF) return 0;
    return id.lVal >= 1 && id.lVal <= Count() ? id.lVal : -1;
  }
  // The model's text, else the standard object's for the client area; a child without one: S_FALSE.
  HRESULT Text(VARIANT id, AccessibleText kind, BSTR* out, TextMethod standard) {
    std::string text;
    const int32_t c = ChildOf(id);
    if (out && c >= 0 && model_.text && model_.text(model_.context, window_, c, kind, &text)) return ReturnText(text, out);
    return StandardText(id, out, standard);
  }
  HRESULT StandardText(VARIANT id, BSTR* out, TextMethod standard) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    const int32_t c = ChildOf(id);
    if (c < 0) return Gone() ? RPC_E_DISCONNECTED : E_INVALIDARG;
    return c == 0 && standard_ ? (standard_->*standard)(id, out) : S_FALSE;
  }
  HRESULT Number(VARIANT id, VARIANT* out, LONG (*mine)(void*, int32_t), NumberMethod standard) {
    if (out == nullptr) return E_POINTER;
    VariantInit(out);
    const int32_t c = ChildOf(id);
    if (c < 0) return Gone() ? RPC_E_DISCONNECTED : E_INVALIDARG;
    if (c == 0 || mine == nullptr) return standard_ ? (standard_->*standard)(id, out) : E_FAIL;
    out->vt = VT_I4;
    out->lVal = mine(model_.context, c);
    return S_OK;
  }

  LONG references_ = 1;
  HWND window_;
  AccessibleModel model_;
  IAccessible* standard_;
};

}  // namespace

LRESULT AnswerGetObject(HWND window, WPARAM wParam, LPARAM lParam, const AccessibleModel* model) {
  if (static_cast<LONG>(static_cast<DWORD>(lParam)) != OBJID_CLIENT || model == nullptr) return 0;
  IAccessible* standard = nullptr;
  if (FAILED(CreateStdAccessibleObject(window, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&standard))))
    standard = nullptr;
  auto* object = new (std::nothrow) ClientAccessible(window, *model, standard);
  if (object == nullptr) {
    if (standard) standard->Release();
    return 0;
  }
  const LRESULT result = LresultFromObject(IID_IAccessible, wParam, object);
  object->Release();
  return result;
}
