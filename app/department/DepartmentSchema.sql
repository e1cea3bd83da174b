-- The department's record of service events, version 1. Applied by
-- "calibrate-cli sync --init" as the owner (an administrator's role); every
-- statement may run again. calibrate_engineer and calibrate_inspector are
-- group roles: an administrator grants them to the engineers' and the
-- inspectors' login roles and lists each engineer's sites in site_members.

CREATE TABLE IF NOT EXISTS calibrate_schema (version integer NOT NULL);

-- One row per event, as its workstation recorded it: "line" is the journal
-- line itself (its hash covers the text, so the text is kept, not only the
-- jsonb), "event" the same parsed for queries. Everything but hash, line,
-- workstation and site is taken from the line by the trigger below, so a
-- client cannot file an event under another meter.
CREATE TABLE IF NOT EXISTS events (
  hash text PRIMARY KEY CHECK (hash ~ '^[0-9a-f]{64}$'),
  seq bigint GENERATED ALWAYS AS IDENTITY UNIQUE,
  serial text NOT NULL,
  model text NOT NULL,
  workstation text NOT NULL,
  site text NOT NULL,
  kind text NOT NULL,
  prev text NOT NULL,
  line text NOT NULL,
  event jsonb NOT NULL,
  client_time text NOT NULL,
  received timestamptz NOT NULL DEFAULT now()
);
CREATE INDEX IF NOT EXISTS events_serial ON events (serial);
CREATE INDEX IF NOT EXISTS events_workstation ON events (workstation);

-- Which sites each engineer's role serves, and which site each meter has
-- been served from (kept by the trigger, read by the row policy).
CREATE TABLE IF NOT EXISTS site_members (member name NOT NULL, site text NOT NULL,
                                         PRIMARY KEY (member, site));
CREATE TABLE IF NOT EXISTS meter_sites (serial text NOT NULL, site text NOT NULL,
                                        PRIMARY KEY (serial, site));

DO $$ BEGIN
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'calibrate_engineer') THEN
    CREATE ROLE calibrate_engineer NOLOGIN;
  END IF;
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'calibrate_inspector') THEN
    CREATE ROLE calibrate_inspector NOLOGIN;
  END IF;
END $$;

-- The sites of the role connected, and the meters of those sites. Run with
-- the owner's rights, so that the row policy need not grant the tables.
CREATE OR REPLACE FUNCTION calibrate_my_sites() RETURNS SETOF text
  LANGUAGE sql STABLE SECURITY DEFINER SET search_path = public AS
  $$ SELECT s.site FROM site_members s JOIN pg_roles r ON r.rolname = s.member
     WHERE pg_has_role(session_user, r.oid, 'MEMBER') $$;
CREATE OR REPLACE FUNCTION calibrate_my_meters() RETURNS SETOF text
  LANGUAGE sql STABLE SECURITY DEFINER SET search_path = public AS
  $$ SELECT DISTINCT serial FROM meter_sites WHERE site IN (SELECT calibrate_my_sites()) $$;

-- Checks an event on its way in: the line ends in its own hash, the hash is
-- the SHA-256 of the line without it, and the line continues an event of the
-- same meter the record holds (or begins a chain). The columns are taken
-- from the line.
CREATE OR REPLACE FUNCTION calibrate_check_event() RETURNS trigger
  LANGUAGE plpgsql SECURITY DEFINER SET search_path = public AS $$
DECLARE
  body text;
  ev jsonb;
BEGIN
  IF right(NEW.line, 75) <> ',"hash":"' || NEW.hash || '"}' THEN
    RAISE EXCEPTION 'event % does not end in its hash', NEW.hash USING ERRCODE = 'CA001';
  END IF;
  body := left(NEW.line, -75) || '}';
  IF encode(sha256(convert_to(body, 'UTF8')), 'hex') <> NEW.hash THEN
    RAISE EXCEPTION 'event % does not match its hash', NEW.hash USING ERRCODE = 'CA001';
  END IF;
  ev := NEW.line::jsonb;
  NEW.event := ev;
  NEW.serial := coalesce(ev->>'serial', '');
  NEW.model := coalesce(ev->>'model', '');
  NEW.kind := coalesce(ev->>'kind', '');
  NEW.prev := coalesce(ev->>'prev', '');
  NEW.client_time := coalesce(ev->>'timeUtc', '');
  NEW.received := now();
  IF ev ? 'workstation' THEN NEW.workstation := ev->>'workstation'; END IF;
  IF NEW.serial = '' THEN
    RAISE EXCEPTION 'event % names no meter', NEW.hash USING ERRCODE = 'CA002';
  END IF;
  IF NEW.prev <> 'e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855'
     AND NOT EXISTS (SELECT FROM events WHERE hash = NEW.prev AND serial = NEW.serial) THEN
    RAISE EXCEPTION 'event % continues no event of meter %', NEW.hash, NEW.serial
      USING ERRCODE = 'CA003';
  END IF;
  INSERT INTO meter_sites VALUES (NEW.serial, NEW.site) ON CONFLICT DO NOTHING;
  RETURN NEW;
END $$;

-- Nothing recorded is changed or removed, except by the owner (who answers
-- for the server; "journal verify --database" shows what the owner changed).
CREATE OR REPLACE FUNCTION calibrate_refuse_change() RETURNS trigger
  LANGUAGE plpgsql AS $$
BEGIN
  IF current_user <> (SELECT relowner::regrole::text FROM pg_class WHERE oid = TG_RELID) THEN
    RAISE EXCEPTION 'events are never changed or removed' USING ERRCODE = 'CA004';
  END IF;
  RETURN CASE WHEN TG_OP = 'DELETE' THEN OLD ELSE NEW END;
END $$;

DROP TRIGGER IF EXISTS events_check ON events;
CREATE TRIGGER events_check BEFORE INSERT ON events
  FOR EACH ROW EXECUTE FUNCTION calibrate_check_event();
DROP TRIGGER IF EXISTS events_keep ON events;
CREATE TRIGGER events_keep BEFORE UPDATE OR DELETE ON events
  FOR EACH ROW EXECUTE FUNCTION calibrate_refuse_change();
DROP TRIGGER IF EXISTS events_keep_all ON events;
CREATE TRIGGER events_keep_all BEFORE TRUNCATE ON events
  FOR EACH STATEMENT EXECUTE FUNCTION calibrate_refuse_change();

-- The application's role may add and read events, nothing else; an
-- inspector reads every meter and adds nothing.
REVOKE ALL ON events, site_members, meter_sites, calibrate_schema FROM PUBLIC;
GRANT SELECT, INSERT ON events TO calibrate_engineer;
GRANT SELECT ON calibrate_schema TO calibrate_engineer, calibrate_inspector;
GRANT SELECT ON events TO calibrate_inspector;

ALTER TABLE events ENABLE ROW LEVEL SECURITY;
DROP POLICY IF EXISTS engineer_reads ON events;
-- His own sites' events, and every event of a meter served from them (a
-- meter taken to another site keeps its history). The first half also lets
-- an event being added pass, before the trigger has noted its meter's site.
CREATE POLICY engineer_reads ON events FOR SELECT TO calibrate_engineer
  USING (site IN (SELECT calibrate_my_sites()) OR serial IN (SELECT calibrate_my_meters()));
DROP POLICY IF EXISTS engineer_adds ON events;
CREATE POLICY engineer_adds ON events FOR INSERT TO calibrate_engineer
  WITH CHECK (site IN (SELECT calibrate_my_sites()));
DROP POLICY IF EXISTS inspector_reads ON events;
CREATE POLICY inspector_reads ON events FOR SELECT TO calibrate_inspector USING (true);

DELETE FROM calibrate_schema;
INSERT INTO calibrate_schema VALUES (1);
