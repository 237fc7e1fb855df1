/* The shared library is the static core linked whole; its exports are fixed by
   tvk_plg_api.map. */
