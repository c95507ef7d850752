// The `vantor` extension module: definition, multi-phase initialisation and
// the function table.
#include "py/module.h"

#include <string>

#include "py/args.h"  // str_of

namespace vantor::py {
namespace {

// Per-module state: the internal-fault exception type and the result
// dictionaries' keys. Both are kept out of the module's attributes, which are
// its functions only.
struct ModuleState {
  PyObject* internal_error;
  PyObject* result_keys;
};

ModuleState* state_of(PyObject* module) {
  return static_cast<ModuleState*>(PyModule_GetState(module));
}

#define VANTOR_FAST(name) reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&guarded<name>))
#define VANTOR_NOARGS(name) reinterpret_cast<PyCFunction>(&guarded_noargs<name>)
constexpr int FAST = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef METHODS[] = {
    {"variants", VANTOR_NOARGS(variants), METH_NOARGS,
     "variants()\n--\n\n"
     "Every game this library plays.\n\n"
     "Each entry carries the key to pass back in, a label to show, and how the game deals, so a "
     "caller can build its own menu without a table of its own."},
    {"chunk", VANTOR_FAST(chunk), FAST,
     "chunk(variant, hands, board, dead, samples, seed=0, threads=0)\n--\n\n"
     "Samples a batch of deals, taking masks.\n\n"
     "`hands` is one entry per seat, each a list of whole alternatives, each alternative one "
     "mask per card the player holds. A named card is a mask with one bit; \"any ace\" is a "
     "mask with four.\n\n"
     "The sampling runs with the GIL released, so a caller can keep repainting while it works."},
    {"chunk_from_text", VANTOR_FAST(chunk_from_text), FAST,
     "chunk_from_text(variant, hands, board=\"\", dead=\"\", samples=100000, seed=0, "
     "threads=0)\n--\n\n"
     "Samples a batch of deals, taking this library's notation.\n\n"
     "The convenience form: `[\"AhKh\", \"QsQd\"]` for hold'em, `\"Kh Qh Jh\"` for a flop. The "
     "mask form is the one to reach for from a program that already holds masks; this one is "
     "for everything else."},
    {"exact", VANTOR_FAST(exact), FAST,
     "exact(variant, hands, board, dead)\n--\n\n"
     "Walks every deal, taking masks, or returns `None` when there are too many.\n\n"
     "The mask twin of [`exact_from_text`]. A caller passing masks could not ask for an exact "
     "answer at all before this, which is backwards: exact matters most on a river spot, and a "
     "river spot is exactly when someone has the calculator open."},
    {"exact_from_text", VANTOR_FAST(exact_from_text), FAST,
     "exact_from_text(variant, hands, board=\"\", dead=\"\")\n--\n\n"
     "Walks every deal instead of sampling, or returns `None` when there are too many to "
     "walk.\n\n"
     "An exact result carries a standard error of zero, because there is nothing uncertain "
     "about it."},
    {"default_thread_count", VANTOR_NOARGS(default_thread_count), METH_NOARGS,
     "default_thread_count()\n--\n\n"
     "How many threads a batch spreads over when none is asked for."},
    {"parse_hand_field", VANTOR_FAST(parse_hand_field), FAST,
     "parse_hand_field(text, slots, allow_short=False)\n--\n\n"
     "Reads a hand field into masks, which is how another implementation of the notation can "
     "be checked against this one without running a whole simulation.\n\n"
     "`slots` is how many cards the game deals a player. Where cards arrive over time -- stud, "
     "a draw game -- a shorter field is allowed and means the rest are still to come."},
    {"parse_dead_cards", VANTOR_FAST(parse_dead_cards), FAST,
     "parse_dead_cards(text)\n--\n\n"
     "Reads dead cards into one mask. They must be named exactly."},
    {"card_index", VANTOR_FAST(card_index), FAST,
     "card_index(text)\n--\n\n"
     "The index of a named card, as `rank * 4 + suit`."},
    {"card_name", VANTOR_FAST(card_name), FAST,
     "card_name(index)\n--\n\n"
     "The name of a card index, uppercase rank and lowercase suit."},
    {"score_batch", VANTOR_FAST(score_batch), FAST,
     "score_batch(kernel, hands)\n--\n\n"
     "Scores a batch of hands against one of the ranking kernels.\n\n"
     "Lower is better. This exists for `validation/`, which asks an outside evaluator whether it "
     "agrees; it takes whole batches because crossing this boundary a hundred million times, one "
     "hand at a time, would cost more than the comparison itself.\n\n"
     "`kernel` is one of `high`, `deuce_seven`, `low_a5`, `short_deck` or `badugi`. Cards are "
     "written as usual: `\"AhKhQsQd2c7d9s\"`."},
    {"full_deck", VANTOR_NOARGS(full_deck), METH_NOARGS,
     "full_deck()\n--\n\n"
     "A mask holding every card in a standard deck."},
    {nullptr, nullptr, 0, nullptr},
};
#undef VANTOR_FAST
#undef VANTOR_NOARGS

int exec_module(PyObject* module) {
  if (!PyModule_Check(module)) {
    PyErr_SetString(PyExc_TypeError, "vantor can only initialise a module object");
    return -1;
  }
  ModuleState* state = state_of(module);
  state->internal_error = PyErr_NewExceptionWithDoc(
      "vantor.InternalError",
      "A broken invariant inside vantor: a fault of the library, never of the input.",
      PyExc_RuntimeError, nullptr);
  if (state->internal_error == nullptr) return -1;
  state->result_keys = new_result_keys();
  if (state->result_keys == nullptr) return -1;
  return PyModule_AddFunctions(module, METHODS);
}

int traverse_module(PyObject* module, visitproc visit, void* arg) {
  ModuleState* state = state_of(module);
  if (state != nullptr) {
    Py_VISIT(state->internal_error);
    Py_VISIT(state->result_keys);
  }
  return 0;
}

int clear_module(PyObject* module) {
  ModuleState* state = state_of(module);
  if (state != nullptr) {
    Py_CLEAR(state->internal_error);
    Py_CLEAR(state->result_keys);
  }
  return 0;
}

void free_module(void* module) { clear_module(static_cast<PyObject*>(module)); }

PyModuleDef_Slot SLOTS[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_module)},
    {0, nullptr},
};

PyModuleDef MODULE = {
    PyModuleDef_HEAD_INIT,
    "vantor",
    "",
    sizeof(ModuleState),
    nullptr,
    SLOTS,
    traverse_module,
    clear_module,
    free_module,
};

}  // namespace

PyObject* raise_internal(PyObject* module, const char* what) {
  ModuleState* state = module ? state_of(module) : nullptr;
  PyObject* type = state && state->internal_error ? state->internal_error : PyExc_SystemError;
  PyErr_SetString(type, what);
  return nullptr;
}

PyObject* result_keys(PyObject* module) { return state_of(module)->result_keys; }

PyObject* to_py(PokerError error) {
  PyRef message = str_of(error.text());
  if (message) PyErr_SetObject(PyExc_ValueError, message.get());
  return nullptr;
}

}  // namespace vantor::py

PyMODINIT_FUNC PyInit_vantor(void) { return PyModuleDef_Init(&vantor::py::MODULE); }
