#include "odds/request.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "notation/parser.h"
#include "odds/pool.h"  // free_later
#include "odds/threads.h"
#include "sampler/matching.h"

namespace vantor {
namespace {

bool is_whole_rank(CardSet s) {
  if (s.is_empty()) return false;
  const unsigned low = static_cast<unsigned>(std::countr_zero(s.mask()));
  return low % 4 == 0 && s == CardSet::rank(low / 4);
}

// The named (one-card) slot sets of a holding, together.
CardSet named_cards(std::span<const CardSet> holding) {
  CardSet out;
  for (CardSet slot : holding)
    if (slot.is_single()) out |= slot;
  return out;
}

// Copies of a holding between two questions to `halted`; a holding of its
// own, whose tables are built, asks every time (the question is cheap).
constexpr std::size_t STOP_STRIDE = 1024;

bool asked_to_stop(const std::function<bool()>& halted) { return halted && halted(); }

// The answer of a stopped build; what it had made is freed off the path of
// the interrupt that stopped it.
template <class... Parts>
std::optional<RequestData> abandon(Parts&... parts) {
  (free_later(std::move(parts)), ...);
  return std::nullopt;
}

// For each holding, the first holding equal to it (itself if none comes
// before): one pass over an open-addressed table of the distinct holdings.
std::vector<std::uint32_t> first_alike(const std::vector<Holding>& holdings) {
  const auto hash = [](const Holding& h) {
    std::uint64_t x = 0x9E3779B97F4A7C15;
    for (CardSet s : h) x = (x ^ s.mask()) * 0xFF51AFD7ED558CCD;
    return x ^ (x >> 29);
  };
  if (holdings.size() == 1) return {0};  // the common case needs no table
  const std::size_t size = std::bit_ceil(2 * holdings.size() + 1);
  std::vector<std::uint32_t> table(size, 0);  // a holding's index + 1; 0 is free
  std::vector<std::uint32_t> first(holdings.size());
  for (std::size_t k = 0; k < holdings.size(); ++k) {
    for (std::size_t at = hash(holdings[k]) & (size - 1);; at = (at + 1) & (size - 1)) {
      if (table[at] == 0) {
        table[at] = static_cast<std::uint32_t>(k + 1);
        first[k] = static_cast<std::uint32_t>(k);
        break;
      }
      if (holdings[table[at] - 1] == holdings[k]) {
        first[k] = table[at] - 1;
        break;
      }
    }
  }
  return first;
}

std::uint64_t live_slot_count(std::span<const CardSet> holding, CardSet live) {
  std::uint64_t sum = 0;
  for (CardSet slot : holding) sum += (slot & live).count();
  return sum;
}

// The seat count, then each seat's holding lengths; short holdings are
// padded in place with slots open to any card.
Outcome check_seats(const TableRules& rules, std::vector<HandSpec>& seats) {
  const std::size_t n = seats.size();
  if (n < 2) return EquityError::TooFewSeats{};
  if (n > rules.seat_limit) return EquityError::TooManySeats{n, rules.seat_limit};
  if (rules.stud) {
    // Stud seats show the same number of cards at any moment of the hand.
    std::optional<std::size_t> common;
    for (const HandSpec& seat : seats)
      for (const Holding& h : seat.holdings) {
        if (!common) common = h.size();
        if (*common != h.size()) return EquityError::MixedHandSizes{};
      }
    if (common && *common <= 2) return EquityError::NotEnoughCards{*common};
  }
  for (HandSpec& seat : seats) {
    if (seat.holdings.empty()) return EquityError::MixedHandSizes{};
    const std::size_t m = seat.holdings.front().size();
    for (const Holding& h : seat.holdings)
      if (h.size() != m) return EquityError::MixedHandSizes{};
    if (m > rules.hole_slots || (m < rules.hole_slots && !rules.short_holdings))
      return EquityError::NotEnoughCards{m};
    // Cards not shown yet (stud) or not kept (draw) come from the deck.
    if (m < rules.hole_slots)
      for (Holding& h : seat.holdings) h.resize(rules.hole_slots, CardSet::full_deck());
  }
  return Ok{};
}

// Every seat has a holding in which no slot is empty.
Outcome check_fillable(std::span<const HandSpec> seats) {
  for (const HandSpec& seat : seats) {
    const bool fillable = std::any_of(seat.holdings.begin(), seat.holdings.end(), [](const Holding& h) {
      return std::none_of(h.begin(), h.end(), [](CardSet s) { return s.is_empty(); });
    });
    if (!fillable) return EquityError::Infeasible{"a hand"};
  }
  return Ok{};
}

Outcome check_board(const TableRules& rules, std::span<const CardSet> board, CardSet dead) {
  if (board.size() > rules.board_size) return EquityError::BoardSize{board.size()};
  if (board.size() < rules.min_board) return EquityError::UnseenBoard{rules.min_board, board.size()};
  const CardSet foreign_dead = (dead & CardSet::full_deck()) - rules.deck;
  if (!foreign_dead.is_empty()) return GameError::NotInDeck{foreign_dead.lowest()};
  return Ok{};
}

// Sets each entry's `fixed` (a seat's cards named in every holding, the
// board's named cards) and their union; a card named by two entries, dead or
// outside the deck is the error.
Outcome claim_named(const TableRules& rules, std::span<const HandSpec> seats,
                    std::span<const CardSet> board, RequestData& r) {
  for (std::size_t i = 0; i < seats.size(); ++i) {
    const auto& holdings = seats[i].holdings;
    CardSet common = named_cards(holdings.front());
    for (const Holding& h : holdings) common &= named_cards(h);
    r.seats[i].fixed = common;
  }
  r.board.fixed = named_cards(board);
  for (std::size_t t = 0; t <= seats.size(); ++t) {
    const CardSet f = r.entry(t).fixed;
    if (const CardSet shared = f & r.fixed_all; !shared.is_empty())
      return GameError::DuplicateCard{shared.lowest()};
    r.fixed_all |= f;
  }
  if (const CardSet unusable = r.fixed_all - r.live; !unusable.is_empty()) {
    const Card c = unusable.lowest();
    if (rules.deck.contains(c)) return GameError::DuplicateCard{c};
    return GameError::NotInDeck{c};
  }
  return Ok{};
}

// A seat's samplers, one per holding, equal holdings sharing one; each
// distinct holding's listing counts against `listing_left`. False when
// `halted` answered true.
bool prepare_samplers(RequestEntry& seat, CardSet live, std::uint64_t& listing_left,
                      const std::function<bool()>& halted) {
  seat.alike = first_alike(seat.holdings);
  if (asked_to_stop(halted)) return false;
  seat.samplers.reserve(seat.holdings.size());
  for (std::size_t k = 0; k < seat.holdings.size(); ++k) {
    const std::uint32_t first = seat.alike[k];
    if ((first == k || k % STOP_STRIDE == 0) && asked_to_stop(halted)) return false;
    if (first != k) {
      seat.samplers.push_back(seat.samplers[first]);
      continue;
    }
    seat.samplers.emplace_back(seat.holdings[k], live, listing_left);
    listing_left -= std::min<std::uint64_t>(listing_left, seat.samplers.back().enumerated().size());
  }
  return true;
}

// Most constrained first, so that hopeless deals fail early; the stable sort
// keeps equal keys in index order (the board after equal seats).
void order_entries(RequestData& r) {
  const std::size_t n = r.seat_count;
  std::vector<std::uint64_t> keys(n + 1);
  for (std::size_t i = 0; i < n; ++i) {
    std::uint64_t key = std::numeric_limits<std::uint64_t>::max();
    for (const Holding& h : r.seats[i].holdings) key = std::min(key, live_slot_count(h, r.live));
    keys[i] = key;
  }
  keys[n] = live_slot_count(r.board.holdings.front(), r.live);
  r.order.resize(n + 1);
  for (std::size_t i = 0; i <= n; ++i) r.order[i] = i;
  std::stable_sort(r.order.begin(), r.order.end(),
                   [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
}

// An entry's shape plans and log weights, and whether weighted dealing picks
// its holding by count. Plans count the card sets the entry can take once
// every other entry's named cards are gone. `lost` is scratch space kept
// between entries. False when `halted` answered true.
bool prepare_plans(RequestEntry& e, CardSet live, CardSet fixed_all, std::vector<double>& lost,
                   const std::function<bool()>& halted) {
  const CardSet avail = live & (e.fixed | (CardSet::full_deck() - fixed_all));
  const CardSet claimed = live - avail;
  const std::size_t count = e.holdings.size();
  // ln(sets over all live cards) - ln(sets over avail), per holding: what
  // a holding loses to the named cards of other entries.
  lost.assign(count, 0.0);
  e.plans.reserve(count);
  e.log_weights.reserve(count);
  // Whether every holding that can be dealt has as many sets over all live
  // cards as the others (unknown when one of them cannot be counted).
  std::optional<u128> common_wide;
  bool equal_wide = true;
  for (std::size_t k = 0; k < count; ++k) {
    const std::size_t first = e.alike[k];
    if ((first == k || k % STOP_STRIDE == 0) && asked_to_stop(halted)) return false;
    const Holding& h = e.holdings[k];
    if (first != k) {
      e.plans.push_back(e.plans[first]);  // shares the shapes
      e.log_weights.push_back(e.log_weights[first]);
      lost[k] = lost[first];
      continue;
    }
    if (h.empty()) {
      e.plans.emplace_back(std::nullopt);
      e.log_weights.push_back(0.0);
      continue;
    }
    auto plan = ShapePlan::build(h, avail);
    e.log_weights.push_back(plan ? std::log(static_cast<double>(plan->total()))
                                 : std::numeric_limits<double>::quiet_NaN());
    CardSet reach;
    for (CardSet slot : h) reach |= slot;
    if (plan && plan->total() > 0) {
      std::optional<u128> wide_total = plan->total();
      if (reach.intersects(claimed)) {
        const auto wide = ShapePlan::build(h, live);
        wide_total = wide ? std::optional<u128>(wide->total()) : std::nullopt;
        if (wide) lost[k] = std::log(static_cast<double>(wide->total())) - e.log_weights[k];
      }
      if (!wide_total || (common_wide && *common_wide != *wide_total)) equal_wide = false;
      if (!common_wide) common_wide = wide_total;
    }
    e.plans.push_back(std::move(plan));
  }
  // Holdings of unequal size: weighted dealing picks them by their counts
  // and divides each deal's weight by the chosen holding's own count.
  if (!equal_wide) {
    e.pick.weighted_by_count = true;
    return true;
  }
  // Picked uniformly, alternatives of one seat must keep the proportions of
  // their card sets over all live cards (slot dealing and the exact walk
  // reject the sets that clash with named cards, they do not renormalise
  // each holding). Normalised by the least loss, so the weights are the
  // plain counts whenever no holding loses more than another.
  double least = std::numeric_limits<double>::infinity();
  for (std::size_t k = 0; k < count; ++k)
    if (std::isfinite(e.log_weights[k])) least = std::min(least, lost[k]);
  for (std::size_t k = 0; k < count; ++k)
    if (std::isfinite(e.log_weights[k]) && lost[k] != least) e.log_weights[k] += lost[k] - least;
  return true;
}

}  // namespace

std::optional<PinnedSpot> pin_open_suits(std::span<const HandSpec> seats,
                                         std::span<const CardSet> board, CardSet live) {
  for (const HandSpec& seat : seats)
    if (seat.holdings.size() != 1) return std::nullopt;

  // Pinning a rank slot to one suit is harmless only if nothing else can
  // tell that card from the other free cards of its rank. A suit slot or a
  // partial rank elsewhere could take the pinned card, so any such slot
  // leaves the spot as it is.
  const auto suit_blind = [](CardSet s) {
    return s.is_single() || is_whole_rank(s) || s == CardSet::full_deck();
  };
  for (const HandSpec& seat : seats)
    if (!std::all_of(seat.holdings[0].begin(), seat.holdings[0].end(), suit_blind))
      return std::nullopt;
  if (!std::all_of(board.begin(), board.end(), suit_blind)) return std::nullopt;

  CardSet taken = named_cards(board);
  for (const HandSpec& seat : seats) taken |= named_cards(seat.holdings[0]);

  PinnedSpot out{std::vector<HandSpec>(seats.begin(), seats.end()),
                 std::vector<CardSet>(board.begin(), board.end())};
  const auto pin = [&](CardSet& slot) {
    if (!is_whole_rank(slot)) return true;
    const CardSet free = slot & (live - taken);
    if (free.is_empty()) return false;
    slot = CardSet::single(free.lowest());
    taken |= slot;
    return true;
  };
  for (HandSpec& seat : out.seats)
    for (CardSet& slot : seat.holdings[0])
      if (!pin(slot)) return std::nullopt;
  for (CardSet& slot : out.board)
    if (!pin(slot)) return std::nullopt;
  return out;
}

Result<std::optional<RequestData>> RequestData::build(const TableRules& rules,
                                                      std::vector<HandSpec> seats,
                                                      std::span<const CardSet> board_in,
                                                      CardSet dead,
                                                      const std::function<bool()>& halted) {
  if (Outcome checked = check_seats(rules, seats); !checked) return std::move(checked).error();
  if (asked_to_stop(halted)) return abandon(seats);
  if (Outcome checked = check_fillable(seats); !checked) return std::move(checked).error();
  if (Outcome checked = check_board(rules, board_in, dead); !checked)
    return std::move(checked).error();

  RequestData r;
  r.seat_count = seats.size();
  r.live = rules.deck - dead;
  std::vector<CardSet> board(board_in.begin(), board_in.end());
  board.resize(rules.board_size, CardSet::full_deck());
  if (rules.pin_suits) {
    if (auto pinned = pin_open_suits(seats, board, r.live)) {
      seats = std::move(pinned->seats);
      board = std::move(pinned->board);
    }
  }

  if (asked_to_stop(halted)) return abandon(seats);
  r.seats.resize(r.seat_count);
  if (Outcome claimed = claim_named(rules, seats, board, r); !claimed)
    return std::move(claimed).error();
  if (asked_to_stop(halted)) return abandon(seats);
  if (!deal_may_exist(seats, board, r.live))
    return EquityError::Infeasible{"the hands, board and dead cards together"};
  if (asked_to_stop(halted)) return abandon(seats);

  r.threads = default_threads();
  r.board_slots = board.size();
  r.board.samplers.emplace_back(board, r.live);
  r.board.holdings.push_back(std::move(board));
  r.board.alike.push_back(0);
  std::uint64_t listing_left = LISTING_BUDGET;
  for (std::size_t i = 0; i < r.seat_count; ++i) {
    r.seats[i].holdings = std::move(seats[i].holdings);
    if (!prepare_samplers(r.seats[i], r.live, listing_left, halted)) return abandon(seats, r);
  }
  order_entries(r);
  std::vector<double> lost;
  for (std::size_t t = 0; t <= r.seat_count; ++t)
    if (!prepare_plans(r.entry(t), r.live, r.fixed_all, lost, halted)) return abandon(r);
  return std::optional(std::move(r));
}

bool RequestData::names_every_seat() const {
  if (board.holdings.empty()) return false;  // not built
  for (const RequestEntry& seat : seats) {
    if (seat.holdings.size() != 1) return false;
    for (CardSet slot : seat.holdings.front())
      if (slot.count() != 1) return false;
  }
  for (CardSet slot : board.holdings.front())
    if (slot.count() != 1 && slot != CardSet::full_deck()) return false;
  return true;
}

Result<ParsedSpot> parse_spot(const TableRules& rules, std::span<const std::string_view> hands,
                              std::string_view board, std::string_view dead,
                              const std::function<bool()>& halted) {
  ParsedSpot spot;
  spot.seats.reserve(hands.size());
  for (std::string_view text : hands) {
    // Short holdings are read like the others, with any length up to the hole count.
    auto seat = parse_field(text, rules.hole_slots, !rules.short_holdings, halted);
    if (!seat) return std::move(seat).error();
    spot.seats.push_back(std::move(*seat));
  }
  auto slots = parse_board(board, rules.board_size);
  if (!slots) return std::move(slots).error();
  spot.board = std::move(*slots);
  auto cards = parse_dead(dead);
  if (!cards) return std::move(cards).error();
  spot.dead = *cards;
  return spot;
}

}  // namespace vantor
