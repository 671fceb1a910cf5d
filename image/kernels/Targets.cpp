// Which of the compiled instruction sets the kernels run.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "image/kernels/Targets.cpp"
#include <hwy/foreach_target.h> // before highway.h

#include <hwy/highway.h>

#include "image/kernels/Kernels.h"

#include <cstdlib>
#include <cstring>

HWY_BEFORE_NAMESPACE();
namespace kernels::HWY_NAMESPACE {
std::int64_t CompiledFor() { return HWY_TARGET; }
} // namespace kernels::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace kernels {

HWY_EXPORT(CompiledFor);

void detail::Ready()
{
    static const bool ready = [] {
        const char* value = std::getenv("IMAGEBENCH_PORTABLE");
        if (value && *value && std::strcmp(value, "0") != 0)
            hwy::DisableTargets(~std::int64_t(HWY_SCALAR | HWY_EMU128));
        return true;
    }();
    (void)ready;
}

std::vector<std::int64_t> Targets()
{
    detail::Ready();
    std::vector<std::int64_t> targets = hwy::SupportedAndGeneratedTargets();
    // Asking for the processor's targets chooses among all of them, ignoring
    // the ones disabled: choose again among the rest.
    hwy::GetChosenTarget().Update(hwy::SupportedTargets());
    return targets;
}

void Force(std::int64_t target)
{
    detail::Ready();
    hwy::SetSupportedTargetsForTest(target);
}

std::int64_t ActiveTarget()
{
    detail::Ready();
    return HWY_DYNAMIC_DISPATCH(CompiledFor)();
}

const char* TargetName(std::int64_t target) { return hwy::TargetName(target); }

bool IsScalar(std::int64_t target) { return (target & (HWY_SCALAR | HWY_EMU128)) != 0; }

} // namespace kernels
#endif
