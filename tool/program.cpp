#include "program.h"

#include <new>

#include "fatal.h"
#include "run_state.h"
#include "steps/steps.h"

int run_mesacrop(Console& con, const std::string& images_dir) {
  try {
    RunState st;
    st.images_dir = images_dir;
    opening(st, con);
    parameters(st, con);
    treatment(st, con);
    con.out.flush();
    return 0;
  } catch (const FatalStop& stop) {
    con.out << stop.message;
  } catch (const std::bad_alloc&) {
    con.out << "\n\n\tNot enough memory for this DEM\n";
  }
  wait_key(con);
  return 1;
}
