// The zone questions.
#include "steps.h"

void parameters(RunState& st, Console& con) {
  st.code = ask_int(con, "\n\n\tMask Code ? ");
  if (st.code < 0 || st.code > 255 || !st.mask.codes[static_cast<std::size_t>(st.code)]) {
    say(con, "\n\tWarning: the code %d selects no cell: the mask %s holds the codes %s\n", st.code,
        st.mask.path.c_str(), codes_text(st.mask.codes).c_str());
  }
  st.val_alti = ask_real(con, "\n\tCorresponding hypsometric value ? ");
  // A negative answer is accepted and means no volume.
  do {
    st.voltreat = ask_int(con, "\n\n\tVolume calculation : \n\t\t0 ====> yes\n\t\t1 ====> no\n\t\t");
  } while (st.voltreat > 1);
}
