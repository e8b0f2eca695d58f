#include "FoundFileVerdict.h"

namespace quorvex {

std::string_view VerdictName(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Complete:
        return "complete";
    case Verdict::Damaged:
        return "damaged";
    case Verdict::Truncated:
        return "truncated";
    case Verdict::Reassembled:
        return "reassembled";
    case Verdict::None:
        break;
    }
    return {};
}

}  // namespace quorvex
