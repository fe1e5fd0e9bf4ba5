# Private servers for the tests and the benchmarks, on 127.0.0.1 and free ports:
# Dovecot (IMAP and POP3) with a configuration, users and Maildir mailboxes made fresh under the
# build folder, and the HTTP server of scripts/lib/http_server.py.
#   mail_servers_start <build dir>    mail_servers_stop
#   http_server_start <build dir>     http_server_stop
# mail_servers_start exports what the test programs read (Wine hands the environment on):
#   WISP_MAIL_HOST, WISP_IMAP_PORT, WISP_POP3_PORT, WISP_IMAP143_HOST (IMAP on port 143) and WISP_MAIL_<ACCOUNT>_USER / _PASSWORD for
#   the accounts below. Their contents are what tests/mail expects:
#   SMALL   4 messages: seen, no flags, answered only, flagged and seen (2 unseen)
#   SINGLE  1 message without flags (1 unseen)
#   SEEN    3 seen messages (0 unseen)
#   EMPTY   no messages
#   BIG     5,000 messages, 1,234 of them unseen
#   BENCH   10,000 messages, 2,500 of them unseen
#   QUOTED  2 messages, 1 unseen, with a password holding blanks, quotes and a backslash
# A second Dovecot on the same mailboxes takes log-ins only over TLS (STARTTLS, STLS), with a
# certificate for "localhost" from a test root: WISP_TLS_IMAP_PORT, WISP_TLS_POP3_PORT, and
# WISP_TEST_ROOT_DIR, the folder of that root (trusted-root.pem, .key, .der), which the signing
# fixture of the update suites also uses.

MAIL_SERVERS_PIDS=()

# A free TCP port on the loopback interface (the kernel picks it; a tiny race is harmless here).
mail_free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

mail_dovecot_conf() {   # dir name ssl-settings imap-port pop3-port extra-imap-listeners
  local dir="$1" name="$2" ssl="$3" imap_port="$4" pop3_port="$5" extra="$6"
  cat <<EOF
# Private test instance: loopback only, everything under this folder.
base_dir = $dir/run-$name
state_dir = $dir/state-$name
instance_name = wisp-test-$name-$$
log_path = $dir/dovecot-$name.log
info_log_path = $dir/dovecot-$name.log
protocols = imap pop3
listen = 127.0.0.1
$ssl
# A refused log-in answers at once (the default waits 2 s, as long as the client's read time-out).
auth_failure_delay = 0
auth_mechanisms = plain login
# Dovecot refuses root for mail and for its login processes: mail belongs to "nobody", the
# other processes run as the users the Dovecot package creates.
default_internal_user = dovecot
default_login_user = dovenull
mail_location = maildir:~/Maildir
passdb {
  driver = passwd-file
  args = scheme=PLAIN $dir/passwd
}
userdb {
  driver = static
  args = uid=$MAIL_UID gid=$MAIL_GID home=$dir/home/%u
}
service imap-login {
  inet_listener imap {
    address = 127.0.0.1
    port = $imap_port
  }$extra
  inet_listener imaps {
    port = 0
  }
}
service pop3-login {
  inet_listener pop3 {
    address = 127.0.0.1
    port = $pop3_port
  }
  inet_listener pop3s {
    port = 0
  }
}
EOF
}

# A test root and a server certificate for "localhost" under it, made once per run.
mail_tls_material() {   # folder
  local tls="$1"
  mkdir -p "$tls"
  ( cd "$tls" &&
    printf '[req]\ndistinguished_name = dn\nx509_extensions = v3_ca\nprompt = no\n[dn]\nCN = Tidewire Test Root\n[v3_ca]\nbasicConstraints = critical, CA:TRUE\nkeyUsage = critical, keyCertSign, cRLSign\nsubjectKeyIdentifier = hash\n' >root.cnf &&
    openssl req -x509 -newkey rsa:2048 -nodes -keyout trusted-root.key -out trusted-root.pem -days 30 \
      -config root.cnf -sha256 2>/dev/null &&
    openssl x509 -in trusted-root.pem -outform DER -out trusted-root.der &&
    printf 'basicConstraints = CA:FALSE\nkeyUsage = critical, digitalSignature, keyEncipherment\nextendedKeyUsage = serverAuth\nsubjectAltName = DNS:localhost\nauthorityKeyIdentifier = keyid\n' >server.ext &&
    openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj /CN=localhost 2>/dev/null &&
    openssl x509 -req -in server.csr -CA trusted-root.pem -CAkey trusted-root.key -CAcreateserial \
      -out server.pem -days 30 -sha256 -extfile server.ext 2>/dev/null ) || {
    echo "mail_tls_material: openssl could not make the test certificates in $tls" >&2
    return 1
  }
}

mail_servers_start() {   # build-dir
  MAIL_SERVERS_DIR="$1/mail-servers"
  local dir="$MAIL_SERVERS_DIR"
  rm -rf "$dir"
  mkdir -p "$dir/run-plain" "$dir/state-plain" "$dir/run-tls" "$dir/state-tls" "$dir/home"

  export WISP_MAIL_HOST=127.0.0.1
  # The mail checker always uses IMAP's port 143: that listener gets a loopback address of the
  # run's own, so runs side by side do not meet.
  export WISP_IMAP143_HOST
  WISP_IMAP143_HOST="127.$((RANDOM % 200 + 20)).$((RANDOM % 250 + 1)).$((RANDOM % 250 + 1))"
  export WISP_IMAP_PORT WISP_POP3_PORT
  WISP_IMAP_PORT="$(mail_free_port)"
  WISP_POP3_PORT="$(mail_free_port)"
  while [ "$WISP_POP3_PORT" = "$WISP_IMAP_PORT" ]; do WISP_POP3_PORT="$(mail_free_port)"; done
  export WISP_TLS_IMAP_PORT WISP_TLS_POP3_PORT WISP_TEST_ROOT_DIR="$dir/tls"
  WISP_TLS_IMAP_PORT="$(mail_free_port)"
  WISP_TLS_POP3_PORT="$(mail_free_port)"
  mail_tls_material "$WISP_TEST_ROOT_DIR" || return 1

  export WISP_MAIL_SMALL_USER=small   WISP_MAIL_SMALL_PASSWORD=small-secret
  export WISP_MAIL_SINGLE_USER=single WISP_MAIL_SINGLE_PASSWORD=single-secret
  export WISP_MAIL_SEEN_USER=seen     WISP_MAIL_SEEN_PASSWORD=seen-secret
  export WISP_MAIL_EMPTY_USER=empty   WISP_MAIL_EMPTY_PASSWORD=empty-secret
  export WISP_MAIL_BIG_USER=big       WISP_MAIL_BIG_PASSWORD=big-secret
  export WISP_MAIL_BENCH_USER=bench   WISP_MAIL_BENCH_PASSWORD=bench-secret
  export WISP_MAIL_QUOTED_USER=quoted
  export WISP_MAIL_QUOTED_PASSWORD='my "pass" \ word'

  local account user password
  : >"$dir/passwd"
  for account in SMALL SINGLE SEEN EMPTY BIG BENCH QUOTED; do
    user="WISP_MAIL_${account}_USER"; password="WISP_MAIL_${account}_PASSWORD"
    printf '%s:{PLAIN}%s:::::::\n' "${!user}" "${!password}" >>"$dir/passwd"
  done
  local m="$dir/home"
  python3 "$ROOT/scripts/lib/mailboxes.py" \
    "$m/small/Maildir" S,-,R,FS \
    "$m/single/Maildir" - \
    "$m/seen/Maildir" S,RS,S \
    "$m/empty/Maildir" 0/0 \
    "$m/big/Maildir" 5000/1234 \
    "$m/bench/Maildir" 10000/2500 \
    "$m/quoted/Maildir" -,S || return 1
  local MAIL_UID MAIL_GID
  MAIL_UID="$(id -u nobody)" MAIL_GID="$(id -g nobody)"
  chown -R "$MAIL_UID:$MAIL_GID" "$m"

  mail_dovecot_conf "$dir" plain "ssl = no
disable_plaintext_auth = no" "$WISP_IMAP_PORT" "$WISP_POP3_PORT" "
  inet_listener imap143 {
    address = $WISP_IMAP143_HOST
    port = 143
  }" >"$dir/dovecot-plain.conf"
  # Log-ins only over TLS: before the upgrade the server announces LOGINDISABLED (IMAP) and
  # no USER (POP3).
  mail_dovecot_conf "$dir" tls "ssl = required
ssl_cert = <$WISP_TEST_ROOT_DIR/server.pem
ssl_key = <$WISP_TEST_ROOT_DIR/server.key
disable_plaintext_auth = yes" "$WISP_TLS_IMAP_PORT" "$WISP_TLS_POP3_PORT" "" >"$dir/dovecot-tls.conf"
  MAIL_SERVERS_PIDS=()
  local name
  for name in plain tls; do
    dovecot -F -c "$dir/dovecot-$name.conf" >>"$dir/dovecot-$name.out" 2>&1 &
    MAIL_SERVERS_PIDS+=($!)
  done
  # After a refused log-in Dovecot delays every later log-in from the same address by a growing
  # penalty (2 s, 4 s, ...), longer than the client's read time-out, so one test's refusal would
  # break the tests after it. The auth process keeps no penalties when it finds no penalty
  # socket at its start, which comes with the first log-in, after this.
  for name in plain tls; do
    for _ in $(seq 100); do
      [ -S "$dir/run-$name/anvil-auth-penalty" ] && break
      sleep 0.05
    done
    rm -f "$dir/run-$name/anvil-auth-penalty"
  done
  local port ok address
  for port in "$WISP_IMAP_PORT" "$WISP_POP3_PORT" 143 "$WISP_TLS_IMAP_PORT" "$WISP_TLS_POP3_PORT"; do
    ok=0
    address=127.0.0.1
    [ "$port" = 143 ] && address="$WISP_IMAP143_HOST"
    for _ in $(seq 100); do
      if (exec 3<>"/dev/tcp/$address/$port") 2>/dev/null; then ok=1; break; fi
      kill -0 "${MAIL_SERVERS_PIDS[0]}" "${MAIL_SERVERS_PIDS[1]}" 2>/dev/null || break
      sleep 0.1
    done
    if [ "$ok" != 1 ]; then
      echo "mail_servers_start: Dovecot did not listen on $address:$port; see $dir/dovecot-*.log" >&2
      cat "$dir"/dovecot-*.out "$dir"/dovecot-*.log >&2 2>/dev/null || true
      mail_servers_stop
      return 1
    fi
  done
}

mail_servers_stop() {
  local pid
  for pid in ${MAIL_SERVERS_PIDS[@]+"${MAIL_SERVERS_PIDS[@]}"}; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in ${MAIL_SERVERS_PIDS[@]+"${MAIL_SERVERS_PIDS[@]}"}; do
    for _ in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  MAIL_SERVERS_PIDS=()
  return 0
}

# The HTTP server exports WISP_HTTP_HOST and WISP_HTTP_PORT; its routes are described at the
# top of http_server.py. Its log is <build dir>/http-server/http.log.
http_server_start() {   # build-dir
  local dir="$1/http-server"
  mkdir -p "$dir"
  export WISP_HTTP_HOST=127.0.0.1
  export WISP_HTTP_PORT
  WISP_HTTP_PORT="$(mail_free_port)"
  python3 "$ROOT/scripts/lib/http_server.py" --port "$WISP_HTTP_PORT" >"$dir/http.log" 2>&1 &
  HTTP_SERVER_PID=$!
  for _ in $(seq 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$WISP_HTTP_PORT") 2>/dev/null; then return 0; fi
    kill -0 "$HTTP_SERVER_PID" 2>/dev/null || break
    sleep 0.1
  done
  echo "http_server_start: the HTTP server did not listen on 127.0.0.1:$WISP_HTTP_PORT; see $dir/http.log" >&2
  cat "$dir/http.log" >&2 2>/dev/null || true
  http_server_stop
  return 1
}

http_server_stop() {
  if [ -n "${HTTP_SERVER_PID:-}" ]; then
    kill "$HTTP_SERVER_PID" 2>/dev/null || true
    wait "$HTTP_SERVER_PID" 2>/dev/null || true
  fi
  HTTP_SERVER_PID=
  return 0
}
