// The fixed texts of the internal failures that name the place of a fault.  Scripts and the
// example transcripts hold these texts as printed, so they are kept here, in one table, and
// every place that raises one refers to its entry: a text is never spelt out twice.
//
// A pattern-match failure is given in the coded form "Place:line|what" (see
// PatternMatchFailure in errors.h for the message printed for it).  The other texts here are
// the messages, or the fixed starts of the messages, of internal errors.
#pragma once

#include <cstddef>
#include <iterator>
#include <string_view>

namespace plim {

// A case that a function has no equation for.  Raised with patternFail(CodedFailure).
enum class CodedFailure : unsigned char {
    // finite maps
    MapDoubleRotateLeft,    // double left rotation of a node whose greater side has no smaller side
    MapDoubleRotateRight,   // double right rotation of a node whose smaller side has no greater side
    MapRebalanceGreater,    // rebalancing towards an empty greater side
    MapRebalanceSmaller,    // rebalancing towards an empty smaller side
    MapLookupUnordered,     // a key neither equal to, below nor above a stored key
    // names
    NameSequenceEmpty,      // choosing the later of two name sequences, one of them empty
    VariableSupplyEmpty,    // renaming with no fresh variable name left
    TypeVariableSupplyEmpty,  // renaming with no fresh type variable name left
    // expressions
    ConsLet,                // building a term node from a let
    ScrubLet,               // scrubbing a let
    RecursiveExpandLet,     // expanding the recursive definitions of a let
    NearBetasNonFunction,   // a declaration in a let that is no function definition
    // operators and constants
    AssociateRightEnd,      // right association of an empty operator chain
    AssociateLeftEnd,       // left association of an empty operator chain
    OperatorTypeMissing,    // the type of a constant that has none (an application)
    // types
    InstantiateNonScheme,   // instantiating a type that is no type abstraction
    // the matching engines
    SubstituteLet,          // substituting into a let
    BetaReduceLet,          // beta reduction meeting a let
    FastConvertLet,         // converting a let to the fast matcher's terms
    FastTupleTypesNonTuple, // the component types of a type that is no tuple (fast matcher)
    ReferenceConvertLet,    // converting a let to the reference matcher's terms
    ReferenceTupleTypesNonTuple,  // the component types of a type that is no tuple (reference)
    ReferenceAbstractsNegative,   // abstracting a negative number of arguments
    // subexpressions and sharing
    SubpathsLet,            // the subexpression paths below a let
    FindVariableLet,        // finding a variable below a let
    InvalidLet,             // the validity of a position below a let
    SubSubexpressionsLet,   // the subexpressions of a let's subexpressions
    EliminateNonLet,        // eliminating the definitions of a term that is no let
    ReverseDefinitionsNonLet,  // reversing the definitions of a term that is no let
    CommonSubexpressionsLet,   // sharing the common subexpressions of a let
    // type checking reports
    UnifyReportOk,          // a report for a unification that succeeded
    ApplicationReportFound, // an undefined-name report for a name that is defined
    DefinitionRewriteNonFunction,  // a rewrite from a definition that is no function definition
    // redefinition of a loaded program
    RedefineMissingType,    // a redefined name with no type
    RedefineMissingTheory,  // a redefined name with no theory
    Count
};

namespace coded_failures_detail {

struct Entry {
    CodedFailure which;
    std::string_view coded;
};

inline constexpr Entry kTable[] = {
    {CodedFailure::MapDoubleRotateLeft, "FiniteMaps:171|function double_L"},
    {CodedFailure::MapDoubleRotateRight, "FiniteMaps:178|function double_R"},
    {CodedFailure::MapRebalanceGreater, "FiniteMaps:151|FiniteMaps.Node _ _ _ gr_sm gr_gr"},
    {CodedFailure::MapRebalanceSmaller, "FiniteMaps:160|FiniteMaps.Node _ _ _ sm_sm sm_gr"},
    {CodedFailure::MapLookupUnordered, "FiniteMaps:413|function lookupFM"},
    {CodedFailure::NameSequenceEmpty, "Names:92|function comb"},
    {CodedFailure::VariableSupplyEmpty, "Names:65|lambda"},
    {CodedFailure::TypeVariableSupplyEmpty, "Names:71|lambda"},
    {CodedFailure::ConsLet, "Expressions:98|function cons"},
    {CodedFailure::ScrubLet, "Expressions:202|function scrub"},
    {CodedFailure::RecursiveExpandLet, "Expressions:142|function recexpand"},
    {CodedFailure::NearBetasNonFunction, "Expressions:189|function nearbetas"},
    {CodedFailure::AssociateRightEnd, "Constants:140|function assr"},
    {CodedFailure::AssociateLeftEnd, "Constants:136|function assl"},
    {CodedFailure::OperatorTypeMissing, "Constants:184|function optype"},
    {CodedFailure::InstantiateNonScheme, "Types:175|function inst"},
    {CodedFailure::SubstituteLet, "Substitutions:19|function appSubst"},
    {CodedFailure::BetaReduceLet, "Matching:217|function betareduce"},
    {CodedFailure::FastConvertLet, "FastMatching:167|function convert'"},
    {CodedFailure::FastTupleTypesNonTuple, "FastMatching:239|function gettupletypes"},
    {CodedFailure::ReferenceConvertLet, "ReferenceMatching:138|function convert'"},
    {CodedFailure::ReferenceTupleTypesNonTuple, "ReferenceMatching:210|function gettupletypes"},
    {CodedFailure::ReferenceAbstractsNegative, "ReferenceMatching:575|function abstractssub"},
    {CodedFailure::SubpathsLet, "SubExpressions:35|function subpaths"},
    {CodedFailure::FindVariableLet, "SubExpressions:121|function findvar"},
    {CodedFailure::InvalidLet, "SubExpressions:79|function invalid"},
    {CodedFailure::SubSubexpressionsLet, "SubExpressions:69|function subsubexps"},
    {CodedFailure::EliminateNonLet, "SubExpressions:290|function elim"},
    {CodedFailure::ReverseDefinitionsNonLet, "SubExpressions:285|function revdefs"},
    {CodedFailure::CommonSubexpressionsLet, "SubExpressions:318|function cses"},
    {CodedFailure::UnifyReportOk, "Infer:50|function erroruni"},
    {CodedFailure::ApplicationReportFound, "Infer:61|function errorapp"},
    {CodedFailure::DefinitionRewriteNonFunction, "Infer:32|function makedefnrewrite"},
    {CodedFailure::RedefineMissingType, "HParse:146|Data.Maybe.Just typ"},
    {CodedFailure::RedefineMissingTheory, "HParse:145|Data.Maybe.Just th"},
};

constexpr bool tableInOrder() {
    if (std::size(kTable) != static_cast<std::size_t>(CodedFailure::Count)) return false;
    for (std::size_t i = 0; i < std::size(kTable); ++i)
        if (static_cast<std::size_t>(kTable[i].which) != i) return false;
    return true;
}
static_assert(tableInOrder(), "one entry per failure, in the order of the enumeration");

}  // namespace coded_failures_detail

// The coded text "Place:line|what" of the failure.
constexpr std::string_view codedText(CodedFailure which) {
    return coded_failures_detail::kTable[static_cast<std::size_t>(which)].coded;
}

// The messages of a record selector applied to a markup text, which has no such field.
inline constexpr std::string_view kTextHasNoMarkupTag = "No match in record selector Html.markupTag";
inline constexpr std::string_view kTextHasNoMarkupAttrs = "No match in record selector Html.markupAttrs";
inline constexpr std::string_view kTextHasNoMarkupContent = "No match in record selector Html.markupContent";

// The starts of the parser library's internal errors: the parser core's, and the shared
// parsers' of the combinator library.
inline constexpr std::string_view kParserCoreFault = "internal error in Ko_Parsing: ";
inline constexpr std::string_view kParserCombinatorFault = "internal error in Ko_Parsing_ext: ";

}  // namespace plim
