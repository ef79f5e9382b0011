// The zone questions.
#include "dialog.h"

void parameters(Run& run, Console& con) {
  ZoneChoice& zone = run.job.zone;
  zone.code = ask_int(con, "\n\n\tMask Code ? ");
  code_warning(run, con.out);
  zone.outside_m = ask_real(con, "\n\tCorresponding hypsometric value ? ");
  // A negative answer is accepted and means no volume.
  do {
    zone.voltreat = ask_int(con, "\n\n\tVolume calculation : \n\t\t0 ====> yes\n\t\t1 ====> no\n\t\t");
  } while (zone.voltreat > 1);
}
