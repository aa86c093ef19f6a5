// The automation object of a unit that hosts an embedded control: the unit is found through
// the runtime, its type must host a control, and the type's control-object operation
// answers the control's interface.
#include "com/graphics.h"
#include "com/last_error.h"
#include "com/ole_types.h"
#include "runtime/notify.h"
#include "units/framework.h"

namespace com {

namespace {

using ControlObjectOp = IUnknown*(__cdecl*)(void* unit);

bool finish(int code) {
  set_last_error(code);
  return code == kOk;
}

}  // namespace

bool unit_object(ObjectValue* o, const runtime::ArgRecord& unit, const char* interface_id) {
  if (!o) return finish(kBadArgumentType);
  IID iid = IID_IUnknown;
  if (interface_id && interface_id[0]) {
    std::wstring text = to_wide(interface_id);
    if (FAILED(IIDFromString(text.data(), &iid))) return finish(kBadVarType);
  }
  // The unit's object exists only while its window is loaded; its type comes from its entry.
  void* object = reinterpret_cast<void*>(static_cast<uintptr_t>(runtime::notify(2006, unit.lo, unit.hi)));
  uint32_t type = static_cast<uint32_t>(runtime::notify(2022, unit.lo, unit.hi));
  if (!object || !type) return finish(kEmptyObject);
  const units::UnitTypeEntry* entry = units::find_type(type);
  auto op = entry && (entry->flags & units::kHostsControl)
                ? reinterpret_cast<ControlObjectOp>(units::type_operation(entry, kControlObjectOperation))
                : nullptr;
  if (!op) return finish(kNoDispatch);
  Ref<IUnknown> control(op(object));
  if (!control) return finish(kEmptyObject);
  Ref<IUnknown> wanted;
  if (FAILED(control->QueryInterface(iid, wanted.out_void())) || !wanted) return finish(kNoDispatch);
  store(o, wanted.get());
  return finish(kOk);
}

}  // namespace com
