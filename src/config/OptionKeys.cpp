#include "config/OptionKeys.h"

#include "config/SystemClock.h"

namespace sentrel {

bool WriteDefaultOptions(TOptions& options) {
    return WriteDefaultOptions(options, CurrentDateTime());
}

std::vector<OptionWrite> DefaultOptionWrites(const TOptions& options, TDateTime now) {
    const std::string nowText = options.DateTimeText(now);
    std::vector<OptionWrite> writes;
    writes.reserve(kOptionKeys.size());
    for (const OptionKey& key : kOptionKeys) {
        if (!key.writtenAtFirstStart) continue;
        switch (key.kind) {
            case OptionKind::Boolean: writes.push_back({key.name, TOptions::BoolText(key.firstStart != 0)}); break;
            case OptionKind::Integer: writes.push_back({key.name, TOptions::IntegerText(key.firstStart)}); break;
            case OptionKind::DateTime: writes.push_back({key.name, nowText}); break;
        }
    }
    return writes;
}

bool WriteDefaultOptions(TOptions& options, TDateTime now) {
    return options.WriteValues(DefaultOptionWrites(options, now));
}

}  // namespace sentrel
