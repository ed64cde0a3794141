// Edits of the two kinds of small part that tie a package together: the content types and the
// relationships. Each takes a part's text and returns the new text, everything else in it kept.
// All throw PackageError naming the part when its text is not well formed.
#pragma once

#include <string>
#include <string_view>

namespace quilmark::xlsx {

// With an override for `part` (named without its leading '/'), unless there is one.
std::string WithOverride(const std::string& types, std::string_view part,
                         std::string_view content_type);
// Without the override for `part`.
std::string WithoutOverride(const std::string& types, std::string_view part);
// The content type the override for `part` declares; empty without one.
std::string OverrideType(const std::string& types, std::string_view part);
// With the override for `part` declaring `content_type`, added where there is none.
std::string WithOverrideType(const std::string& types, std::string_view part,
                             std::string_view content_type);

// With a relationship of `type` to `target`, unless there is one of that type; empty `rels`
// starts a new part.
std::string WithRelationship(const std::string& rels, std::string_view rels_part,
                             std::string_view type, std::string_view target);
// Without the relationships whose type ends in "/<kind>".
std::string WithoutRelationships(const std::string& rels, std::string_view rels_part,
                                 std::string_view kind);

}  // namespace quilmark::xlsx
