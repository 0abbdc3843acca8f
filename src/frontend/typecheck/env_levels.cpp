// The free type variables of the environment, kept from one environment to the next by levels,
// so that generalising a definition list costs what its own types and the environment's new
// bindings cost, not a walk of the whole environment.
#include <set>
#include <unordered_set>

#include "frontend/typecheck/checker.h"
#include "lang/type_rebuild.h"

namespace plim {

// --- levels ------------------------------------------------------------------------------------

std::uint32_t CheckState::levelOf(const Type& tid) const {
    if (const std::optional<std::uint32_t> pos = keptPosition(tid))
        return *pos < levelByPosition_.size() ? levelByPosition_[*pos] : kNoLevel;
    auto it = levelByName_.find(tid.name());
    return it == levelByName_.end() ? kNoLevel : it->second;
}

void CheckState::setLevel(const Type& tid, std::uint32_t level, LevelUndo* undo) {
    std::uint32_t* at = nullptr;
    if (const std::optional<std::uint32_t> pos = keptPosition(tid)) {
        if (*pos >= levelByPosition_.size())
            levelByPosition_.resize(std::max<std::size_t>(*pos + 1, 2 * levelByPosition_.size()), kNoLevel);
        at = &levelByPosition_[*pos];
    } else {
        at = &levelByName_.try_emplace(tid.name(), kNoLevel).first->second;
    }
    if (undo) undo->levels.emplace_back(tid, *at);
    // The slot it falls from holds it too.
    if (level < *at && *at != kNoLevel) noteHeldAbove(level, tid, *at, undo);
    *at = level;
    if (level != kNoLevel) atLevel_[level].push_back(tid);
    refreshInEnv(tid);
}

void CheckState::refreshInEnv(const Type& tid) {
    if (const std::optional<std::uint32_t> pos = keptPosition(tid))
        inEnvPositions_.set(*pos, levelOf(tid) != kNoLevel && !boundType(tid));
}

void CheckState::lowerLevels(const Type& root, std::uint32_t level, LevelUndo* undo, const BoundScopePtr& captured) {
    // A place in a type, with the names bound by the schemes around it in the type walked
    // (`hidden`: they are not replaced by their bindings) and in the type as resolved
    // (`captured`: a variable that a binding brings in under a scheme binding its name is not
    // free there; the substitution does not rename bound names).
    struct Item {
        const Type* type;
        BoundScopePtr hidden;
        BoundScopePtr captured;
    };
    std::vector<Item> work{{&root, nullptr, captured}};
    std::unordered_set<const void*> seenNodes;  // shared constructor terms walked, outside schemes
    std::set<std::pair<std::string, const BoundScope*>> seenUnder;  // bindings walked under schemes
    while (!work.empty()) {
        Item item = std::move(work.back());
        work.pop_back();
        const Type& t = *item.type;
        switch (t.kind()) {
        case TypeKind::TCon:
            if (t.isGround()) break;
            if (!item.captured && !t.soleHolder() && !seenNodes.insert(t.nodeAddress()).second) break;
            for (const Type& a : t.args()) work.push_back(Item{&a, item.hidden, item.captured});
            break;
        case TypeKind::TAbs:
            work.push_back(Item{&t.body(), BoundScope::inside(item.hidden, t.boundVars()),
                                BoundScope::inside(item.captured, t.boundVars())});
            break;
        case TypeKind::Tid: {
            if (scopeHolds(item.hidden, t.name())) break;
            // A variable at the level or lower has everything it reaches there already; the
            // lower slot that holds it notes that this one does too.
            if (const std::uint32_t at = levelOf(t); at <= level) {
                if (at < level && (boundType(t) || !scopeHolds(item.captured, t.name())))
                    noteHeldAbove(at, t, level, undo, item.captured);
                break;
            }
            const Bound* bound = boundType(t);
            if (!bound) {
                if (!scopeHolds(item.captured, t.name())) setLevel(t, level, undo);
                break;
            }
            // Under a scheme only some of the binding's variables may come out free, so the
            // bound variable keeps its level there.
            if (!item.captured) setLevel(t, level, undo);
            else if (!seenUnder.emplace(t.name(), item.captured.get()).second) break;
            work.push_back(Item{&bound->type, nullptr, item.captured});
            break;
        }
        }
    }
}

void CheckState::noteBoundInEnv(const Type& tid, const Type& t, LevelUndo& undo) {
    refreshInEnv(tid);  // bound: no longer free anywhere
    const std::uint32_t level = levelOf(tid);
    if (level != kNoLevel) lowerLevels(t, level, &undo);
}

void CheckState::noteHeldAbove(std::uint32_t level, const Type& tid, std::uint32_t above, LevelUndo* undo,
                               const BoundScopePtr& captured) {
    heldAbove_[level].push_back(HeldAbove{tid, above, envSlots_[above].serial, captured});
    if (undo) undo->heldAbove.push_back(level);
}

void CheckState::restoreLevels(const LevelUndo& undo, const std::vector<Type>& unbound) {
    for (auto it = undo.heldAbove.rbegin(); it != undo.heldAbove.rend(); ++it) heldAbove_[*it].pop_back();
    for (auto it = undo.levels.rbegin(); it != undo.levels.rend(); ++it) {
        // Put back as it was, without noting anything held.
        if (const std::optional<std::uint32_t> pos = keptPosition(it->first)) levelByPosition_[*pos] = it->second;
        else levelByName_[it->first.name()] = it->second;
        if (it->second != kNoLevel) atLevel_[it->second].push_back(it->first);
        refreshInEnv(it->first);
    }
    for (const Type& tid : unbound) refreshInEnv(tid);
}

void CheckState::dropLevel(std::size_t slot) {
    const std::vector<Type> vars = std::move(atLevel_[slot]);
    atLevel_[slot].clear();
    for (const Type& tid : vars)
        if (levelOf(tid) == slot) setLevel(tid, kNoLevel, nullptr);
}

// --- the slots of the environment ----------------------------------------------------------------

void CheckState::pushEnvSlot(std::shared_ptr<const CheckEnv::OpenCell> cell) {
    const std::size_t at = envSlots_.size();
    EnvSlot slot{std::move(cell), kNoSlot, true, ++slotsPushed_};
    auto [visible, first] = visibleSlot_.try_emplace(slot.cell->name, at);
    if (!first) {
        slot.hides = visible->second;
        visible->second = at;
        hideEnvSlot(slot.hides);
    }
    envSlots_.push_back(std::move(slot));
    atLevel_.resize(at + 1);
    heldAbove_.resize(at + 1);
    const CheckEnv::OpenCell& c = *envSlots_.back().cell;
    if (c.open) lowerLevels(c.type, static_cast<std::uint32_t>(at), nullptr);
}

void CheckState::hideEnvSlot(std::size_t slot) {
    envSlots_[slot].visible = false;
    if (!envSlots_[slot].cell->open) return;
    // Its variables go to the lowest other visible slot that holds them, if any.
    const std::vector<HeldAbove> held = std::move(heldAbove_[slot]);
    heldAbove_[slot].clear();
    dropLevel(slot);
    for (const HeldAbove& h : held)
        if (h.slot < envSlots_.size() && envSlots_[h.slot].serial == h.serial && envSlots_[h.slot].visible)
            lowerLevels(h.var, h.slot, nullptr, h.captured);
}

void CheckState::popEnvSlot() {
    const std::size_t top = envSlots_.size() - 1;
    dropLevel(top);
    const EnvSlot slot = std::move(envSlots_.back());
    envSlots_.pop_back();
    atLevel_.pop_back();
    heldAbove_.pop_back();
    if (slot.hides == kNoSlot) {
        visibleSlot_.erase(slot.cell->name);
        return;
    }
    // The slot it hid is seen again; it is below every slot left above it.
    visibleSlot_[slot.cell->name] = slot.hides;
    EnvSlot& shown = envSlots_[slot.hides];
    shown.visible = true;
    if (shown.cell->open) lowerLevels(shown.cell->type, static_cast<std::uint32_t>(slot.hides), nullptr);
}

// --- the environment entered last ------------------------------------------------------------------

void CheckState::enterEnv(const CheckEnv& env) {
    // env's cells down to the first one that is the slot at its depth: that one and those below
    // it are shared with the slots.
    std::vector<std::shared_ptr<const CheckEnv::OpenCell>> added;
    std::shared_ptr<const CheckEnv::OpenCell> cell = env.openBindings();
    while (cell && !(cell->depth < envSlots_.size() && envSlots_[cell->depth].cell == cell)) {
        added.push_back(cell);
        cell = cell->next;
    }
    const std::size_t shared = cell ? cell->depth + 1 : 0;
    while (envSlots_.size() > shared) popEnvSlot();
    for (auto it = added.rbegin(); it != added.rend(); ++it) pushEnvSlot(std::move(*it));
}

bool CheckState::freeInEnv(const std::string& var) const {
    if (const std::optional<std::uint32_t> pos = keptPosition(var)) return inEnvPositions_.contains(*pos);
    auto it = levelByName_.find(var);
    return it != levelByName_.end() && it->second != kNoLevel && !boundByName_.count(var);
}

std::uint64_t CheckState::nextNameNotInEnv(std::uint64_t position) const {
    // Positions kept by name are never in the set of positions.
    for (;; ++position) {
        position = inEnvPositions_.nextAbsent(position);
        if (!freeInEnv(nthName(position))) return position;
    }
}

}  // namespace plim
