// The zone questions.
#include "steps.h"

void parameters(RunState& st, Console& con) {
  st.code = ask_int(con, "\n\n\tMask Code ? ");
  st.val_alti = ask_real(con, "\n\tCorresponding hypsometric value ? ");
  // A negative answer is accepted and means no volume.
  do {
    st.voltreat = ask_int(con, "\n\n\tVolume calculation : \n\t\t0 ====> yes\n\t\t1 ====> no\n\t\t");
  } while (st.voltreat > 1);
}
