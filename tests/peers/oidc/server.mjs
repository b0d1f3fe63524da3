// The OpenID provider the account tests sign in against. Listens on 127.0.0.1 (port 0
// unless the config names one) and prints its issuer as its first line of stdout, then
// serves until killed. Login and consent pages are answered at once, so a plain HTTP
// client with a cookie jar that follows redirects by hand plays the browser.
//
// Configuration: a JSON file named by the first argument or by OIDC_PEER_CONFIG, merged
// over the defaults below:
//   clients:       replaces the registered clients
//   accountId:     the subject every login signs in as (default "tester")
//   email:         its e-mail claim
//   initialAccessToken: the bearer token dynamic registration asks for
//   configuration: merged (deeply) into the provider's configuration, e.g.
//                  {"features": {"userinfo": {"enabled": false}}}
//
// Beyond the provider's own routes:
//   POST /peer/deny   the next interaction answers access_denied "End-User denied the
//                     request" instead of signing in (204)
// A request asking for prompt=select_account gets that interaction first; it is
// answered at once too, like login and consent.
import { createServer } from 'node:http';
import { generateKeyPairSync, randomBytes } from 'node:crypto';
import { readFileSync } from 'node:fs';
import Provider, { interactionPolicy } from 'oidc-provider';

const defaults = {
  port: 0,
  accountId: 'tester',
  email: 'tester@example.com',
  initialAccessToken: 'sorvane-initial-access-token',
  clients: [{
    client_id: 'sorvane-test',
    application_type: 'native',
    token_endpoint_auth_method: 'none',
    grant_types: ['authorization_code', 'refresh_token'],
    response_types: ['code'],
    // Loopback redirects match on any port (RFC 8252 section 7.3).
    redirect_uris: ['sorvane://auth/callback', 'http://127.0.0.1/callback'],
    post_logout_redirect_uris: ['sorvane://auth/signed-out'],
  }],
  configuration: {},
};

function isObject(value) {
  return value !== null && typeof value === 'object' && !Array.isArray(value);
}

function merge(base, over) {
  const out = { ...base };
  for (const [key, value] of Object.entries(over ?? {})) {
    out[key] = isObject(value) && isObject(base[key]) ? merge(base[key], value) : value;
  }
  return out;
}

const configPath = process.argv[2] || process.env.OIDC_PEER_CONFIG;
const settings = merge(defaults, configPath ? JSON.parse(readFileSync(configPath, 'utf8')) : {});

let provider;
let denyNext = false;
const server = createServer((req, res) => {
  if (!provider) {
    res.statusCode = 503;
    res.end();
    return;
  }
  if (req.method === 'POST' && req.url === '/peer/deny') {
    denyNext = true;
    res.statusCode = 204;
    res.end();
    return;
  }
  if (req.method === 'GET' && req.url.startsWith('/interaction/')) {
    answerInteraction(req, res).catch((error) => {
      process.stderr.write(`interaction failed: ${error.stack}\n`);
      res.statusCode = 500;
      res.end();
    });
    return;
  }
  provider.callback()(req, res);
});

// Grants whatever the interaction asks for: the account selection, a login as the
// configured account, then every missing scope and claim; or denies it once when asked.
async function answerInteraction(req, res) {
  const { prompt: { name, details }, params, session, grantId } = await provider.interactionDetails(req, res);
  let result;
  if (denyNext) {
    denyNext = false;
    result = { error: 'access_denied', error_description: 'End-User denied the request' };
  } else if (name === 'select_account') {
    result = { select_account: {} };
  } else if (name === 'login') {
    result = { login: { accountId: settings.accountId } };
  } else if (name === 'consent') {
    const grant = grantId
      ? await provider.Grant.find(grantId)
      : new provider.Grant({ accountId: session.accountId, clientId: params.client_id });
    if (details.missingOIDCScope) grant.addOIDCScope(details.missingOIDCScope.join(' '));
    if (details.missingOIDCClaims) grant.addOIDCClaims(details.missingOIDCClaims);
    for (const [indicator, scopes] of Object.entries(details.missingResourceScopes ?? {})) {
      grant.addResourceScope(indicator, scopes.join(' '));
    }
    result = { consent: { grantId: await grant.save() } };
  } else {
    result = { error: 'access_denied', error_description: `unhandled prompt ${name}` };
  }
  await provider.interactionFinished(req, res, result, { mergeWithLastSubmission: true });
}

// The default login and consent, after an account selection the request may ask for.
function policy() {
  const prompts = interactionPolicy.base();
  prompts.add(new interactionPolicy.Prompt({ name: 'select_account', requestable: true }), 0);
  return prompts;
}

function signingKeys() {
  const rsa = generateKeyPairSync('rsa', { modulusLength: 2048 }).privateKey.export({ format: 'jwk' });
  const ec = generateKeyPairSync('ec', { namedCurve: 'P-256' }).privateKey.export({ format: 'jwk' });
  return { keys: [{ ...rsa, use: 'sig', alg: 'RS256' }, { ...ec, use: 'sig', alg: 'ES256' }] };
}

server.listen(settings.port, '127.0.0.1', () => {
  const issuer = `http://127.0.0.1:${server.address().port}`;
  const configuration = merge({
    clients: settings.clients,
    jwks: signingKeys(),
    cookies: { keys: [randomBytes(32).toString('hex')] },
    scopes: ['openid', 'offline_access', 'tolvern.account'],
    claims: { openid: ['sub'], email: ['email'], 'tolvern.account': ['email'] },
    pkce: { methods: ['S256'], required: () => true },
    interactions: { policy: policy() },
    features: {
      devInteractions: { enabled: false },
      registration: { enabled: true, initialAccessToken: settings.initialAccessToken },
      dPoP: { enabled: true },
      rpInitiatedLogout: { enabled: true },
      userinfo: { enabled: true },
    },
    findAccount: (ctx, sub) => ({
      accountId: sub,
      claims: () => ({ sub, email: settings.email }),
    }),
  }, settings.configuration);

  provider = new Provider(issuer, configuration);
  // A private-use scheme without a dot ("sorvane:") is what the app registers; the
  // provider's reverse-domain advice is not a rule of RFC 8252.
  const { invalidate } = provider.Client.Schema.prototype;
  provider.Client.Schema.prototype.invalidate = function lenient(message, code) {
    if (String(message).includes('reverse domain name based scheme')) return;
    invalidate.call(this, message, code);
  };
  provider.on('server_error', (ctx, error) => process.stderr.write(`server_error: ${error.stack}\n`));
  process.stdout.write(`${issuer}\n`);
});

for (const signal of ['SIGTERM', 'SIGINT']) process.on(signal, () => process.exit(0));
