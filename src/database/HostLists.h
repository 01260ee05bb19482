#pragma once
// Host-name lookups over the three one-column tables that the public feeds fill (sentrel-db
// import): tracker domains, malicious hosts and the public suffixes that give a host its
// registrable domain.
//
// Footprint: the tables hold tens of thousands of rows, so an index keeps no text of its own. It
// reads the cells where the table keeps them and holds one 32-bit row number per row, and not
// even that when the column is already in order (as the import writes it). So the lists hold
// views into the database they were built from: they live and die with its tables and are
// rebuilt whenever those change.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "database/DataBase.h"

namespace sentrel {

inline constexpr std::string_view kTrackerDomainsTable = "TrackerDomains";
inline constexpr std::string_view kMaliciousHostsTable = "MaliciousHosts";
inline constexpr std::string_view kPublicSuffixesTable = "PublicSuffixes";
inline constexpr std::string_view kDomainColumn = "DOMAIN";
inline constexpr std::string_view kHostColumn = "HOST";
inline constexpr std::string_view kSuffixColumn = "SUFFIX";

// A host as the lists compare it: ASCII letters in lower case, one trailing dot dropped.
std::string NormalizedHost(std::string_view host);
// True for a dotted IPv4 address (a last label of digits: no top-level domain is all digits) or
// an IPv6 address (any colon).
bool IsIpAddress(std::string_view normalizedHost);

// The cells of one column in order, compared byte for byte with ASCII letters folded to lower
// case. Empty without the table or the column.
class TSortedColumn {
public:
    TSortedColumn() = default;
    TSortedColumn(const TDataBase& dataBase, std::string_view table, std::string_view column);

    // True when a cell equals the text (ASCII letters in any case).
    bool Contains(std::string_view text) const;
    int Count() const { return values_ == nullptr ? 0 : count_; }
    // True when the column was in order already and no row numbers are kept.
    bool InTableOrder() const { return order_.empty(); }

private:
    std::string_view At(std::size_t position) const {
        return (*values_)[order_.empty() ? position : order_[position]];
    }

    const std::vector<std::string_view>* values_ = nullptr;
    int count_ = 0;
    std::vector<std::uint32_t> order_;  // row numbers in text order; empty when the rows are in order
};

class THostLists {
public:
    // Indexes TrackerDomains, MaliciousHosts and PublicSuffixes of `dataBase`; a missing table
    // is an empty list. The database must outlive this object, unchanged.
    explicit THostLists(const TDataBase& dataBase);
    // Empty lists.
    THostLists() = default;

    // The host or one of its parent domains is a tracker domain; `domain` gets the longest one
    // that is (an IP address matches only itself).
    bool IsTrackerHost(std::string_view host, std::string& domain) const;
    bool IsTrackerHost(std::string_view host) const;
    // The host (a name or an IP address, bare: no port, no brackets) is listed exactly.
    bool IsMaliciousHost(std::string_view host) const;
    // The host's public suffix and one label more ("www.example.co.uk" -> "example.co.uk"), by
    // the rules of the list: the longest matching rule, wildcards ("*.ck") and exceptions
    // ("!www.ck") included, "*" when no rule matches. Empty when the host is a public suffix
    // itself, an IP address, or has an empty label.
    std::string RegistrableDomain(std::string_view host) const;

    int TrackerDomainCount() const { return trackerDomains_.Count(); }
    int MaliciousHostCount() const { return maliciousHosts_.Count(); }
    int PublicSuffixCount() const { return publicSuffixes_.Count(); }

private:
    TSortedColumn trackerDomains_;
    TSortedColumn maliciousHosts_;
    TSortedColumn publicSuffixes_;
};

}  // namespace sentrel
