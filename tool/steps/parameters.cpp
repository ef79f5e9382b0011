// The zone questions, and the treatment that follows them.
#include "steps.h"
#include "zone/zone.h"

void parameters(RunState& st, Console& con) {
  st.code = ask_int(con, "\n\n\tMask Code ? ");
  st.val_alti = ask_real(con, "\n\tCorresponding hypsometric value ? ");
  // A negative answer is accepted and means no volume.
  do {
    st.voltreat = ask_int(con, "\n\n\tVolume calculation : \n\t\t0 ====> yes\n\t\t1 ====> no\n\t\t");
  } while (st.voltreat > 1);
}

void treatment(RunState& st, Console& con) {
  // Nothing reads the input altitudes after the extraction: the result is made
  // in their place, so a run holds one altitude matrix, not two.
  st.dtab_out = std::move(st.dtab_in);
  extract_zone(st.dtab_out.get(), st.tab_mask.get(), st.nb_lig, st.nb_col, st.code, st.val_alti,
               st.dtab_out.get());
  if (st.voltreat == 0) vol_calc(st);
  saving(st, con);
}

void vol_calc(RunState& st) {
  st.surf_pix = st.dpix_size * st.dpix_size;
  st.vol_tot = zone_volume(st.dtab_out.get(), st.tab_mask.get(), st.nb_lig, st.nb_col, st.code, st.surf_pix);
}
