# Sourced by the benchmark scripts.

# The address book a store's benchmark opens: book_spec STORE SIZE BOOKS,
# BOOKS the folder of the generated books.
book_spec() {
  case "$1" in
    vcard-folder) echo "vcard:$3/folder-$2" ;;
    vcard-file) echo "vcard:$3/book-$2.vcf" ;;
    eds) echo "eds:bench-$2" ;;
  esac
}

# Other work on the machine skews every figure: waits a little for quiet,
# then notes how busy it was in load_before.
wait_for_quiet() {
  local i
  for ((i = 0; i < 12; i++)); do
    awk '{ exit !($1 < 1.0) }' /proc/loadavg && break
    sleep 5
  done
  load_before=$(cut -d' ' -f1-3 /proc/loadavg)
}
