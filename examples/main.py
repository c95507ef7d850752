"""A first look at vantor: cards, and (once the engine is in) an equity question."""

import vantor

print("As is card", vantor.card_index("As"), "and card 34 is", vantor.card_name(34))
print("full deck mask:", hex(vantor.full_deck()))
print("threads a batch uses by default:", vantor.default_thread_count())
