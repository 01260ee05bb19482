#include "database/HostLists.h"

#include <algorithm>
#include <numeric>

namespace sentrel {

namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Byte order with ASCII letters folded: the import writes lower-case cells in byte order, which is
// this order too, so its tables need no row numbers.
int CompareFolded(std::string_view a, std::string_view b) {
    const std::size_t length = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < length; ++i) {
        const auto x = static_cast<unsigned char>(LowerAscii(a[i]));
        const auto y = static_cast<unsigned char>(LowerAscii(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Where each label of a host begins; empty when a label is empty.
std::vector<std::size_t> LabelStarts(std::string_view host) {
    std::vector<std::size_t> starts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = host.find('.', start);
        const std::size_t end = dot == std::string_view::npos ? host.size() : dot;
        if (end == start) return {};
        starts.push_back(start);
        if (dot == std::string_view::npos) return starts;
        start = dot + 1;
    }
}

}  // namespace

std::string NormalizedHost(std::string_view host) {
    if (host.ends_with('.')) host.remove_suffix(1);
    std::string normalized(host);
    std::transform(normalized.begin(), normalized.end(), normalized.begin(), LowerAscii);
    return normalized;
}

bool IsIpAddress(std::string_view host) {
    if (host.find(':') != std::string_view::npos) return true;
    const std::size_t dot = host.rfind('.');
    const std::string_view last = dot == std::string_view::npos ? host : host.substr(dot + 1);
    return !last.empty() && std::all_of(last.begin(), last.end(), [](char c) { return c >= '0' && c <= '9'; });
}

TSortedColumn::TSortedColumn(const TDataBase& dataBase, std::string_view table, std::string_view column) {
    const TTable* found = dataBase.FindTable(table);
    const TColumn* cells = found == nullptr ? nullptr : found->FindColumn(column);
    if (cells == nullptr) return;
    values_ = &cells->Values();
    // Values past the row count are no rows; missing ones are empty cells and never match.
    count_ = std::min(static_cast<int>(values_->size()), std::max(found->RowCount(), 0));
    const auto begin = values_->begin();
    const bool inOrder = std::is_sorted(begin, begin + count_, [](std::string_view a, std::string_view b) {
        return CompareFolded(a, b) < 0;
    });
    if (inOrder) return;
    order_.resize(static_cast<std::size_t>(count_));
    std::iota(order_.begin(), order_.end(), 0u);
    std::sort(order_.begin(), order_.end(), [this](std::uint32_t a, std::uint32_t b) {
        return CompareFolded((*values_)[a], (*values_)[b]) < 0;
    });
}

bool TSortedColumn::Contains(std::string_view text) const {
    std::size_t low = 0;
    std::size_t high = static_cast<std::size_t>(Count());
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        const int order = CompareFolded(At(middle), text);
        if (order == 0) return true;
        if (order < 0)
            low = middle + 1;
        else
            high = middle;
    }
    return false;
}

THostLists::THostLists(const TDataBase& dataBase)
    : trackerDomains_(dataBase, kTrackerDomainsTable, kDomainColumn),
      maliciousHosts_(dataBase, kMaliciousHostsTable, kHostColumn),
      publicSuffixes_(dataBase, kPublicSuffixesTable, kSuffixColumn) {}

bool THostLists::IsTrackerHost(std::string_view host, std::string& domain) const {
    domain.clear();
    const std::string name = NormalizedHost(host);
    if (name.empty()) return false;
    if (IsIpAddress(name)) {
        if (!trackerDomains_.Contains(name)) return false;
        domain = name;
        return true;
    }
    // The host itself, then each parent domain: "a.b.c", "b.c", "c".
    for (std::size_t start = 0; start < name.size();) {
        const std::string_view candidate = std::string_view(name).substr(start);
        if (!candidate.empty() && trackerDomains_.Contains(candidate)) {
            domain = candidate;
            return true;
        }
        const std::size_t dot = name.find('.', start);
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    return false;
}

bool THostLists::IsTrackerHost(std::string_view host) const {
    std::string domain;
    return IsTrackerHost(host, domain);
}

bool THostLists::IsMaliciousHost(std::string_view host) const {
    const std::string name = NormalizedHost(host);
    return !name.empty() && maliciousHosts_.Contains(name);
}

std::string THostLists::RegistrableDomain(std::string_view host) const {
    const std::string name = NormalizedHost(host);
    if (name.empty() || IsIpAddress(name)) return {};
    const std::vector<std::size_t> starts = LabelStarts(name);
    if (starts.empty()) return {};
    const std::size_t labels = starts.size();
    const auto suffixFrom = [&](std::size_t label) { return std::string_view(name).substr(starts[label]); };

    // The public suffix's label count. An exception rule prevails over all others; its public
    // suffix is the rule without its first label.
    std::size_t suffixLabels = 0;
    std::string rule;
    for (std::size_t i = 0; i < labels && suffixLabels == 0; ++i) {
        rule.assign("!").append(suffixFrom(i));
        if (publicSuffixes_.Contains(rule)) suffixLabels = std::max<std::size_t>(labels - i - 1, 1);
    }
    // Otherwise the longest rule that matches, a wildcard standing for one whole label.
    for (std::size_t i = 0; i < labels && suffixLabels == 0; ++i) {
        if (publicSuffixes_.Contains(suffixFrom(i))) {
            suffixLabels = labels - i;
        } else if (i + 1 < labels) {
            rule.assign("*.").append(suffixFrom(i + 1));
            if (publicSuffixes_.Contains(rule)) suffixLabels = labels - i;
        }
    }
    if (suffixLabels == 0) suffixLabels = 1;  // the default rule "*"
    if (suffixLabels >= labels) return {};
    return std::string(suffixFrom(labels - suffixLabels - 1));
}

}  // namespace sentrel
